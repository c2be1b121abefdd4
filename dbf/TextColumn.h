// The reads of a 'C' column into a member of a given size (DbfStringField::ReadFromBufferBounded),
// inline so that the log row conversion runs them without a call per column. Internal to the
// library (not installed).
#ifndef QUORVEL_DBF_TEXTCOLUMN_H
#define QUORVEL_DBF_TEXTCOLUMN_H

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "PlatformServices.h"
#include "TextScan.h"

namespace qv {

// Text mode: the bounded copy (QvMbsnbcpy) and NormalizeFieldText in one pass over the row. The
// text ends at the column's first NUL (or, without one, where the multibyte bounded copy would
// stop), the member holds it and zeros up to position n = min(width, nMemberSize - 1), and the
// normaliser's terminator goes after the last non-blank. The blanks between that terminator and
// the zeros stay in the member, as the normaliser leaves them.
inline void ReadTextColumn(const unsigned char* column, size_t width, unsigned char* dst,
                           size_t nMemberSize) {
    if (nMemberSize == 0) {
        return;
    }
    const size_t n = std::min(width, nMemberSize - 1);
    // The blank padding first (a NUL is no blank): a NUL can only lie before it, so the search
    // for one covers the text and not the padding.
    const size_t filled = TrimmedLength(column, n);
    const void* nul = std::memchr(column, 0, filled);
    size_t len = n;
    size_t end = filled;
    if (nul != nullptr) {
        len = static_cast<size_t>(static_cast<const unsigned char*>(nul) - column);
        end = TrimmedLength(column, len);
    } else if (filled == n && n > 0 && column[n - 1] >= 0x40) {
        // Without a NUL, a column that ends in a byte below 0x40 (its blank padding) is whole in
        // every locale (QvMbsWholePrefix's own first test, without the call).
        len = QvMbsWholePrefix(column, n);
        end = TrimmedLength(column, len);
    }
    if (len == n) {
        std::memmove(dst, column, n);  // the usual case: no NUL, no character cut off
    } else {
        std::memmove(dst, column, len);
        std::memset(dst + len, 0, n - len);
    }
    dst[n] = '\0';
    dst[end] = '\0';
}

// Raw mode: the column's bytes as they stand, as many as the member holds.
inline void ReadRawColumn(const unsigned char* column, size_t width, unsigned char* dst,
                          size_t nMemberSize) {
    if (const size_t n = std::min(width, nMemberSize); n > 0) {
        std::memcpy(dst, column, n);  // dst may be null when n is 0
    }
}

}  // namespace qv

#endif  // QUORVEL_DBF_TEXTCOLUMN_H
