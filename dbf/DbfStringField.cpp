#include "DbfStringField.h"

#include <algorithm>
#include <cstring>

#include "PlatformServices.h"

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
    size_t n;
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
    std::memset(cursor + n, ' ', width - n);
    cursor += width;
}

void DbfStringField::ReadFromBufferBounded(unsigned char*& cursor, void* member,
                                           size_t nMemberSize) const {
    const size_t width = m_nWidth;
    unsigned char* dst = static_cast<unsigned char*>(member);
    if (m_bText == 1) {
        if (nMemberSize > 0) {
            // One copy, straight from the row: the text ends at the column's first NUL, the rest
            // of the member up to the width is zero-filled, and a terminator follows.
            const size_t n = std::min(width, nMemberSize - 1);
            QvMbsnbcpy(dst, cursor, n);
            dst[n] = '\0';
            NormalizeFieldText(reinterpret_cast<char*>(dst));
        }
    } else {
        std::memcpy(dst, cursor, std::min(width, nMemberSize));
    }
    cursor += width;
}
