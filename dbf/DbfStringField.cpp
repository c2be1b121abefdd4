#include "DbfStringField.h"

#include <algorithm>
#include <cstring>

#include "PlatformServices.h"
#include "TextScan.h"

IMPLEMENT_DYNAMIC(DbfStringField, ZDbfField)

DbfStringField::DbfStringField(LPCSTR pszName, unsigned char nWidth, int bText)
    : ZDbfField(pszName, 'C', nWidth, 0), m_bText(bText) {}

DbfStringField::DbfStringField(const DbfFldDesc* desc) : ZDbfField(desc), m_bText(1) {}

DbfStringField::~DbfStringField() = default;

void DbfStringField::WriteToBuffer(unsigned char*& cursor, void* member) {
    WriteToBufferBounded(cursor, member, m_bText == 1 ? size_t{m_nWidth} + 1 : m_nWidth);
}

void DbfStringField::ReadFromBuffer(unsigned char*& cursor, void* member) {
    ReadFromBufferBounded(cursor, member, m_bText == 1 ? size_t{m_nWidth} + 1 : m_nWidth);
}

void DbfStringField::WriteToBufferBounded(unsigned char*& cursor, const void* member,
                                          size_t nMemberSize) const {
    const size_t width = m_nWidth;
    const unsigned char* src = static_cast<const unsigned char*>(member);
    size_t n = 0;
    // A member of no bytes (a raw column of width 0) may be null: nothing is read from it.
    if (nMemberSize > 0) {
        if (m_bText == 1) {
            // A member without a terminator ends at its last byte, never beyond it.
            n = strnlen(reinterpret_cast<const char*>(src), nMemberSize);
            if (n > width) {
                n = QvMbsWholePrefix(src, width);
            }
        } else {
            n = std::min(width, nMemberSize);
        }
        std::memcpy(cursor, src, n);
    }
    std::memset(cursor + n, ' ', width - n);
    cursor += width;
}

void DbfStringField::ReadFromBufferBounded(unsigned char*& cursor, void* member,
                                           size_t nMemberSize) const {
    const size_t width = m_nWidth;
    unsigned char* dst = static_cast<unsigned char*>(member);
    if (m_bText == 1) {
        if (nMemberSize > 0) {
            // The bounded copy (QvMbsnbcpy) and NormalizeFieldText in one pass over the row: the
            // text ends at the column's first NUL (or, without one, where the multibyte bounded
            // copy would stop), the member holds it and zeros up to position n, and the
            // normaliser's terminator goes after the last non-blank. The blanks between that
            // terminator and the zeros stay in the member, as the normaliser leaves them.
            const size_t n = std::min(width, nMemberSize - 1);
            // The blank padding first (a NUL is no blank): a NUL can only lie before it, so the
            // search for one covers the text and not the padding.
            const size_t filled = qv::TrimmedLength(cursor, n);
            const void* nul = std::memchr(cursor, 0, filled);
            size_t len = n;
            size_t end = filled;
            if (nul != nullptr) {
                len = static_cast<size_t>(static_cast<const unsigned char*>(nul) - cursor);
                end = qv::TrimmedLength(cursor, len);
            } else if (filled == n && n > 0 && cursor[n - 1] >= 0x40) {
                // Without a NUL, a column that ends in a byte below 0x40 (its blank padding) is
                // whole in every locale (QvMbsWholePrefix's own first test, without the call).
                len = QvMbsWholePrefix(cursor, n);
                end = qv::TrimmedLength(cursor, len);
            }
            if (len == n) {
                std::memmove(dst, cursor, n);  // the usual case: no NUL, no character cut off
            } else {
                std::memmove(dst, cursor, len);
                std::memset(dst + len, 0, n - len);
            }
            dst[n] = '\0';
            dst[end] = '\0';
        }
    } else if (const size_t n = std::min(width, nMemberSize); n > 0) {
        std::memcpy(dst, cursor, n);  // dst may be null when n is 0
    }
    cursor += width;
}
