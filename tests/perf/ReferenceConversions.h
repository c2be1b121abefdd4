// The column conversions written the straightforward way, as the field classes first did them:
// bounded copy, terminate, normalise, then sscanf, strtol, strtod, snprintf, strftime, mktime.
// The field classes have since been given fast paths; the equivalence tests hold every one of them
// to these, byte for byte and bit for bit. Self-contained on purpose (the multibyte helpers and
// the normaliser are copied too), so that a change to the library's own helpers cannot move the
// reference with it.
#ifndef QUORVEL_TESTS_PERF_REFERENCECONVERSIONS_H
#define QUORVEL_TESTS_PERF_REFERENCECONVERSIONS_H

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>

namespace qvref {

// ---- helpers --------------------------------------------------------------------------------

inline size_t WholePrefix(const unsigned char* s, size_t len) {
    if (len == 0 || s[len - 1] < 0x40 || MB_CUR_MAX == 1) {
        return len;
    }
    std::mbstate_t state{};
    size_t keep = 0;
    while (keep < len) {
        size_t n = std::mbrlen(reinterpret_cast<const char*>(s) + keep, len - keep, &state);
        if (n == static_cast<size_t>(-2)) {
            break;
        }
        if (n == static_cast<size_t>(-1)) {
            state = std::mbstate_t{};
            n = 1;
        }
        keep += n == 0 ? 1 : n;
    }
    return keep;
}

inline unsigned char* Mbsnbcpy(unsigned char* dst, const unsigned char* src, size_t count) {
    const void* nul = std::memchr(src, 0, count);
    size_t len = nul != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - src)
                                : WholePrefix(src, count);
    std::memmove(dst, src, len);
    std::memset(dst + len, 0, count - len);
    return dst;
}

inline const unsigned char* Mbschr(const unsigned char* str, unsigned int ch) {
    if (MB_CUR_MAX == 1 || ch < 0x80) {
        return reinterpret_cast<const unsigned char*>(
            std::strchr(reinterpret_cast<const char*>(str), static_cast<int>(ch)));
    }
    std::mbstate_t state{};
    const char* p = reinterpret_cast<const char*>(str);
    size_t rest = std::strlen(p);
    while (*p != '\0') {
        size_t n = std::mbrlen(p, rest, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            state = std::mbstate_t{};
            n = 1;
        }
        if (n == 1 && static_cast<unsigned char>(*p) == ch) {
            return reinterpret_cast<const unsigned char*>(p);
        }
        p += n;
        rest -= n;
    }
    return nullptr;
}

inline void Normalize(char* pszText) {
    size_t len = std::strlen(pszText);
    while (len > 0 && pszText[len - 1] == ' ') {
        --len;
    }
    pszText[len] = '\0';
}

template <typename T>
T Load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void Store(void* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// ---- 'C' ------------------------------------------------------------------------------------

inline void StringWrite(size_t width, int bText, unsigned char*& cursor, const void* member,
                        size_t nMemberSize) {
    const unsigned char* src = static_cast<const unsigned char*>(member);
    size_t n;
    if (bText == 1) {
        n = strnlen(reinterpret_cast<const char*>(src), nMemberSize);
        if (n > width) {
            n = WholePrefix(src, width);
        }
    } else {
        n = std::min(width, nMemberSize);
    }
    if (n > 0) {
        std::memcpy(cursor, src, n);  // src may be null when the member has no bytes
    }
    std::memset(cursor + n, ' ', width - n);
    cursor += width;
}

inline void StringRead(size_t width, int bText, unsigned char*& cursor, void* member,
                       size_t nMemberSize) {
    unsigned char* dst = static_cast<unsigned char*>(member);
    if (bText == 1) {
        if (nMemberSize > 0) {
            const size_t n = std::min(width, nMemberSize - 1);
            Mbsnbcpy(dst, cursor, n);
            dst[n] = '\0';
            Normalize(reinterpret_cast<char*>(dst));
        }
    } else {
        std::memcpy(dst, cursor, std::min(width, nMemberSize));
    }
    cursor += width;
}

// ---- 'D' ------------------------------------------------------------------------------------

inline void DateWrite(size_t width, unsigned char*& cursor, const void* member) {
    const time_t value = Load<int32_t>(member);
    char text[128];
    size_t n = 0;
    struct tm local;
    if (localtime_r(&value, &local) != nullptr) {
        n = strftime(text, sizeof text, "%Y%m%d", &local);
    }
    if (n != 8) {
        n = 0;
    }
    n = std::min(n, width);
    std::memcpy(cursor, text, n);
    std::memset(cursor + n, ' ', width - n);
    cursor += width;
}

// Local midnight of year-month-day as the class library's CTime builds it (mktime, daylight
// saving decided by the platform); false when it cannot be represented.
inline bool LocalMidnight(int nYear, int nMonth, int nDay, time_t& result) {
    if (nYear < INT_MIN + 1900 || nMonth < INT_MIN + 1) {
        return false;
    }
    struct tm t = {};
    t.tm_year = nYear - 1900;
    t.tm_mon = nMonth - 1;
    t.tm_mday = nDay;
    t.tm_isdst = -1;
    t.tm_wday = -1;
    result = mktime(&t);
    return result != static_cast<time_t>(-1) || t.tm_wday != -1;
}

inline void DateRead(size_t width, unsigned char*& cursor, void* member) {
    char text[9];
    const size_t n = std::min<size_t>(8, width);
    std::memcpy(text, cursor, n);
    text[n] = '\0';
    int year = 0;
    int month = 0;
    int day = 0;
    int32_t value = 0;
    time_t t;
    if (std::sscanf(text, "%4d%2d%2d", &year, &month, &day) == 3 && year != 0 && month != 0 &&
        day != 0 && LocalMidnight(year, month, day, t) && t >= INT32_MIN && t <= INT32_MAX) {
        value = static_cast<int32_t>(t);
    }
    Store<int32_t>(member, value);
    cursor += width;
}

// ---- 'F' ------------------------------------------------------------------------------------

inline void FloatWrite(size_t width, int nDecimals, char sep, unsigned char*& cursor,
                       const void* member) {
    const double value = Load<double>(member);
    char text[1 + 309 + 1 + 255 + 64];
    int formatted =
        std::snprintf(text, sizeof text, "%*.*f", static_cast<int>(width), nDecimals, value);
    size_t len = formatted > 0 ? static_cast<size_t>(formatted) : 0;
    if (len >= sizeof text) {
        len = 0;
    }
    text[len] = '\0';
    const char* found = sep != '\0' ? std::strchr(text, sep) : nullptr;
    if (found != nullptr && sep != '.') {
        text[found - text] = '.';
    }
    if (found != nullptr && static_cast<size_t>(found - text) > width) {
        std::memset(cursor, '*', width);
    } else {
        const size_t n = len < width ? len : width;
        std::memcpy(cursor, text, n);
        std::memset(cursor + n, ' ', width - n);
    }
    cursor += width;
}

inline void FloatRead(size_t width, char sep, unsigned char*& cursor, void* member) {
    char text[256];
    Mbsnbcpy(reinterpret_cast<unsigned char*>(text), cursor, width);
    text[width] = '\0';
    Normalize(text);
    double value;
    if (Mbschr(reinterpret_cast<const unsigned char*>(text), '*') != nullptr) {
        value = DBL_MAX;
    } else {
        if (sep != '.') {
            char* dot = std::strchr(text, '.');
            if (dot != nullptr) {
                *dot = sep;
            }
        }
        value = std::strtod(text, nullptr);
    }
    Store<double>(member, value);
    cursor += width;
}

// ---- 'L' ------------------------------------------------------------------------------------

inline void BooleanWrite(size_t width, unsigned char*& cursor, const void* member) {
    if (width > 0) {
        std::memset(cursor, ' ', width);
        cursor[0] = Load<int32_t>(member) != 0 ? 'T' : 'F';
    }
    cursor += width;
}

inline void BooleanRead(size_t width, unsigned char*& cursor, void* member) {
    int32_t value = 0;
    if (width > 0) {
        const unsigned char c = cursor[0];
        value = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 1 : 0;
    }
    Store<int32_t>(member, value);
    cursor += width;
}

// ---- 'N' ------------------------------------------------------------------------------------

inline void NumericWrite(size_t width, unsigned char*& cursor, const void* member) {
    char text[256 + 16];
    int formatted = std::snprintf(text, sizeof text, "%*d", static_cast<int>(width),
                                  static_cast<int>(Load<int32_t>(member)));
    size_t n = formatted > 0 ? static_cast<size_t>(formatted) : 0;
    if (n > width) {
        n = width;
    }
    std::memcpy(cursor, text, n);
    std::memset(cursor + n, ' ', width - n);
    cursor += width;
}

inline void NumericRead(size_t width, unsigned char*& cursor, void* member) {
    char text[256];
    Mbsnbcpy(reinterpret_cast<unsigned char*>(text), cursor, width);
    text[width] = '\0';
    Normalize(text);
    long value = std::strtol(text, nullptr, 10);
    if (value > INT32_MAX) {
        value = INT32_MAX;
    } else if (value < INT32_MIN) {
        value = INT32_MIN;
    }
    Store<int32_t>(member, static_cast<int32_t>(value));
    cursor += width;
}

}  // namespace qvref

#endif  // QUORVEL_TESTS_PERF_REFERENCECONVERSIONS_H
