#include "DbfBooleanField.h"

#include <cstring>

IMPLEMENT_DYNAMIC(DbfBooleanField, ZDbfField)

DbfBooleanField::DbfBooleanField(LPCSTR pszName) : ZDbfField(pszName, 'L', 1, 0) {}

DbfBooleanField::DbfBooleanField(const DbfFldDesc* desc) : ZDbfField(desc) {}

DbfBooleanField::~DbfBooleanField() = default;

void DbfBooleanField::WriteToBuffer(unsigned char*& cursor, void* member) {
    if (m_nWidth > 0) {
        std::memset(cursor, ' ', m_nWidth);
        cursor[0] = qv::LoadUnaligned<int32_t>(member) != 0 ? 'T' : 'F';
    }
    cursor += m_nWidth;
}

void DbfBooleanField::ReadFromBuffer(unsigned char*& cursor, void* member) {
    int32_t value = 0;
    if (m_nWidth > 0) {
        const unsigned char c = cursor[0];
        value = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 1 : 0;
    }
    qv::StoreUnaligned<int32_t>(member, value);
    cursor += m_nWidth;
}
