#include "DbfNumericField.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "PlatformServices.h"

IMPLEMENT_DYNAMIC(DbfNumericField, ZDbfField)

DbfNumericField::DbfNumericField(LPCSTR pszName, unsigned char nWidth, unsigned char nDecimals)
    : ZDbfField(pszName, 'N', nWidth, nDecimals) {}

DbfNumericField::DbfNumericField(const DbfFldDesc* desc) : ZDbfField(desc) {}

DbfNumericField::~DbfNumericField() = default;

void DbfNumericField::WriteToBuffer(unsigned char*& cursor, void* member) {
    const size_t width = m_nWidth;
    char text[256 + 16];
    int formatted = std::snprintf(text, sizeof text, "%*d", m_nWidth,
                                  static_cast<int>(qv::LoadUnaligned<LONG>(member)));
    size_t n = formatted > 0 ? static_cast<size_t>(formatted) : 0;
    if (n > width) {
        n = width;
    }
    std::memcpy(cursor, text, n);
    std::memset(cursor + n, ' ', width - n);
    cursor += width;
}

void DbfNumericField::ReadFromBuffer(unsigned char*& cursor, void* member) {
    char text[256];
    QvMbsnbcpy(reinterpret_cast<unsigned char*>(text), cursor, m_nWidth);
    text[m_nWidth] = '\0';
    NormalizeFieldText(text);
    long value = std::strtol(text, nullptr, 10);
    if (value > INT32_MAX) {
        value = INT32_MAX;
    } else if (value < INT32_MIN) {
        value = INT32_MIN;
    }
    qv::StoreUnaligned<LONG>(member, static_cast<LONG>(value));
    cursor += m_nWidth;
}
