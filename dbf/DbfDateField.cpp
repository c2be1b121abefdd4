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

namespace {

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

int Digits(const unsigned char* p, size_t n) {
    int v = 0;
    for (size_t i = 0; i < n; ++i) {
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

// The text strftime "%Y%m%d" makes of the local time of value: 8 characters, or 0 when the value
// has no local time or the text would not be 8 characters (a year outside 1000-9999).
size_t DateText(TIME32 value, char (&text)[DbfDateField::kWidth]) {
    const time_t t = value;
    struct tm local;
    if (localtime_r(&t, &local) == nullptr) {
        return 0;
    }
    const long long year = static_cast<long long>(local.tm_year) + 1900;
    if (year >= 1000 && year <= 9999 && local.tm_mon >= 0 && local.tm_mon <= 11 &&
        local.tm_mday >= 1 && local.tm_mday <= 31) {
        // What strftime writes for these ranges, without its format interpreter.
        const int parts[] = {static_cast<int>(year) / 100, static_cast<int>(year) % 100,
                             local.tm_mon + 1, local.tm_mday};
        for (int k = 0; k < 4; ++k) {
            text[2 * k] = static_cast<char>('0' + parts[k] / 10);
            text[2 * k + 1] = static_cast<char>('0' + parts[k] % 10);
        }
        return DbfDateField::kWidth;
    }
    char formatted[128];
    if (strftime(formatted, sizeof formatted, "%Y%m%d", &local) != DbfDateField::kWidth) {
        return 0;
    }
    std::memcpy(text, formatted, DbfDateField::kWidth);
    return DbfDateField::kWidth;
}

// The value of the n (at most 8) text bytes at p: local midnight of the year, month and day that
// sscanf "%4d%2d%2d" finds, normalised as mktime does; 0 without three numbers, for a year, month
// or day of 0, or outside the 32-bit range. bCacheable tells whether the answer depends on the
// text and the time zone only: true for the forms a table holds, 8 digits and blanks; sscanf's
// view of anything else also follows the C locale's character classes.
TIME32 DateValue(const unsigned char* p, size_t n, bool& bCacheable) {
    int year = 0;
    int month = 0;
    int day = 0;
    bool bNumbers = false;
    const bool bDigits = n == DbfDateField::kWidth && std::all_of(p, p + n, IsDigit);
    if (bDigits) {
        // sscanf takes the same three fields from 8 digits.
        year = Digits(p, 4);
        month = Digits(p + 4, 2);
        day = Digits(p + 6, 2);
        bNumbers = true;
        bCacheable = true;
    } else if (std::all_of(p, p + n, [](unsigned char c) { return c == ' '; })) {
        bCacheable = true;  // no number at all: the empty date
    } else {
        char text[DbfDateField::kWidth + 1];
        std::memcpy(text, p, n);
        text[n] = '\0';
        bNumbers = std::sscanf(text, "%4d%2d%2d", &year, &month, &day) == 3;
    }
    if (!bNumbers || year == 0 || month == 0 || day == 0) {
        return 0;
    }
    CTime t(year, month, day, 0, 0, 0, -1);
    if (!t.IsValid() || t.GetTime() < INT32_MIN || t.GetTime() > INT32_MAX) {
        return 0;
    }
    return static_cast<TIME32>(t.GetTime());
}

}  // namespace

void DbfDateField::CheckZone() {
    if (m_zone.Changed()) {
        m_bReadKnown = false;
        m_bWriteKnown = false;
    }
}

void DbfDateField::WriteToBuffer(unsigned char*& cursor, void* member) {
    CheckZone();
    const TIME32 value = qv::LoadUnaligned<TIME32>(member);
    if (!m_bWriteKnown || value != m_nWriteValue) {
        m_nWriteLength = static_cast<unsigned char>(DateText(value, m_writeText));
        m_nWriteValue = value;
        m_bWriteKnown = true;
    }
    const size_t n = std::min<size_t>(m_nWriteLength, m_nWidth);
    std::memcpy(cursor, m_writeText, n);
    std::memset(cursor + n, ' ', m_nWidth - n);
    cursor += m_nWidth;
}

void DbfDateField::ReadFromBuffer(unsigned char*& cursor, void* member) {
    CheckZone();
    const size_t n = std::min<size_t>(kWidth, m_nWidth);
    TIME32 value;
    if (m_bReadKnown && std::memcmp(cursor, m_readText, n) == 0) {
        value = m_nReadValue;
    } else {
        bool bCacheable = false;
        value = DateValue(cursor, n, bCacheable);
        if (bCacheable) {
            std::memcpy(m_readText, cursor, n);
            m_nReadValue = value;
            m_bReadKnown = true;
        }
    }
    qv::StoreUnaligned<TIME32>(member, value);
    cursor += m_nWidth;
}
