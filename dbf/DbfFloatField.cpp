#include "DbfFloatField.h"

#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "PlatformServices.h"

IMPLEMENT_DYNAMIC(DbfFloatField, ZDbfField)

namespace {

// The longest text "%*.*f" can make for a width and a decimal count of at most 255: a sign, the
// 309 integer digits of the largest double, the separator and 255 decimals.
constexpr size_t kMaxFloatText = 1 + 309 + 1 + 255;

}  // namespace

DbfFloatField::DbfFloatField(LPCSTR pszName, unsigned char nWidth, unsigned char nDecimals)
    : ZDbfField(pszName, 'F', nWidth, nDecimals) {
    QueryDecimalSeparator();
}

DbfFloatField::DbfFloatField(const DbfFldDesc* desc) : ZDbfField(desc) {
    QueryDecimalSeparator();
}

DbfFloatField::~DbfFloatField() = default;

void DbfFloatField::QueryDecimalSeparator() {
    m_szDecimalSep[0] = '.';
    m_szDecimalSep[1] = '\0';
    // On failure the buffer is left as it is: '.'.
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, m_szDecimalSep, sizeof m_szDecimalSep);
}

void DbfFloatField::WriteToBuffer(unsigned char*& cursor, void* member) {
    const double value = qv::LoadUnaligned<double>(member);
    const size_t width = m_nWidth;
    char text[kMaxFloatText + 64];
    int formatted = std::snprintf(text, sizeof text, "%*.*f", m_nWidth, m_nDecimals, value);
    size_t len = formatted > 0 ? static_cast<size_t>(formatted) : 0;
    if (len >= sizeof text) {
        len = 0;  // cannot happen for widths and decimals of one byte; never trust a cut text
    }
    text[len] = '\0';
    const char sep = m_szDecimalSep[0];
    const char* found = sep != '\0' ? std::strchr(text, sep) : nullptr;
    if (found != nullptr && sep != '.') {
        text[found - text] = '.';
    }
    if (found != nullptr && static_cast<size_t>(found - text) > width) {
        std::memset(cursor, '*', width);  // the integer part does not fit
    } else {
        const size_t n = len < width ? len : width;
        std::memcpy(cursor, text, n);
        std::memset(cursor + n, ' ', width - n);
    }
    cursor += width;
}

void DbfFloatField::ReadFromBuffer(unsigned char*& cursor, void* member) {
    char text[256];
    QvMbsnbcpy(reinterpret_cast<unsigned char*>(text), cursor, m_nWidth);
    text[m_nWidth] = '\0';
    NormalizeFieldText(text);
    double value;
    if (QvMbschr(reinterpret_cast<const unsigned char*>(text), '*') != nullptr) {
        value = DBL_MAX;  // the column overflowed when it was written
    } else {
        const char sep = m_szDecimalSep[0];
        if (sep != '.') {
            char* dot = std::strchr(text, '.');
            if (dot != nullptr) {
                *dot = sep;
            }
        }
        value = std::strtod(text, nullptr);
    }
    qv::StoreUnaligned<double>(member, value);
    cursor += m_nWidth;
}
