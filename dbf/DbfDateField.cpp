#include "DbfDateField.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "CTime.h"

IMPLEMENT_DYNAMIC(DbfDateField, ZDbfField)

DbfDateField::DbfDateField(LPCSTR pszName) : ZDbfField(pszName, 'D', kWidth, 0) {}

DbfDateField::DbfDateField(const DbfFldDesc* desc) : ZDbfField(desc) {}

DbfDateField::~DbfDateField() = default;

void DbfDateField::WriteToBuffer(unsigned char*& cursor, void* member) {
    const time_t value = qv::LoadUnaligned<TIME32>(member);
    char text[128];
    size_t n = 0;
    struct tm local;
    if (localtime_r(&value, &local) != nullptr) {
        n = strftime(text, sizeof text, "%Y%m%d", &local);
    }
    if (n != kWidth) {
        n = 0;  // no local date: the empty date
    }
    n = std::min<size_t>(n, m_nWidth);
    std::memcpy(cursor, text, n);
    std::memset(cursor + n, ' ', m_nWidth - n);
    cursor += m_nWidth;
}

void DbfDateField::ReadFromBuffer(unsigned char*& cursor, void* member) {
    char text[kWidth + 1];
    const size_t n = std::min<size_t>(kWidth, m_nWidth);
    std::memcpy(text, cursor, n);
    text[n] = '\0';
    int year = 0;
    int month = 0;
    int day = 0;
    TIME32 value = 0;
    if (std::sscanf(text, "%4d%2d%2d", &year, &month, &day) == 3 && year != 0 && month != 0 &&
        day != 0) {
        CTime t(year, month, day, 0, 0, 0, -1);
        if (t.IsValid() && t.GetTime() >= INT32_MIN && t.GetTime() <= INT32_MAX) {
            value = static_cast<TIME32>(t.GetTime());
        }
    }
    qv::StoreUnaligned<TIME32>(member, value);
    cursor += m_nWidth;
}
