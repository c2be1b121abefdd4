#include "DbfStringField.h"

#include <algorithm>
#include <cstring>

#include "PlatformServices.h"
#include "TextColumn.h"

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
    unsigned char* dst = static_cast<unsigned char*>(member);
    if (m_bText == 1) {
        qv::ReadTextColumn(cursor, m_nWidth, dst, nMemberSize);
    } else {
        qv::ReadRawColumn(cursor, m_nWidth, dst, nMemberSize);
    }
    cursor += m_nWidth;
}
