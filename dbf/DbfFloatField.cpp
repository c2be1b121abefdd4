#include "DbfFloatField.h"

#include <cfenv>
#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "PlatformServices.h"

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

IMPLEMENT_DYNAMIC(DbfFloatField, ZDbfField)

namespace {

// The longest text "%*.*f" can make for a width and a decimal count of at most 255: a sign, the
// 309 integer digits of the largest double, the separator and 255 decimals.
constexpr size_t kMaxFloatText = 1 + 309 + 1 + 255;

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// True when the C library rounds to nearest (fegetround: what strtod and printf follow) and so does
// the unit that divides doubles here. On x86-64 glibc's fegetround reads the x87 control word
// only, while double arithmetic runs on SSE, whose rounding (MXCSR) a program can set apart.
bool RoundsToNearest() {
#if defined(__SSE2__)
    if ((_mm_getcsr() & _MM_ROUND_MASK) != _MM_ROUND_NEAREST) {
        return false;
    }
#endif
    return std::fegetround() == FE_TONEAREST;
}

// The powers of ten a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;
constexpr uint64_t kMaxExactInteger = uint64_t{1} << 53;

// The value the column's text reads as (strtod after the '.' is made the separator), for the
// texts a table holds: blanks, a sign, digits with at most one decimal point, blanks, and no more
// than 19 significant digits whose value needs no rounding before the one scaling step. TRUE with
// value set; FALSE for every other text, which strtod reads.
//
// Why the answer is strtod's: strtod rounds the exact decimal value correctly (to nearest, which
// is checked). The significant digits m <= 2^53 and the power 10^k, k <= 22, are both exact
// doubles, so m * 10^k or m / 10^k is one correctly rounded IEEE operation on exact operands: the
// same double (Clinger's fast path). The sign is applied to m first, so -0 stays -0.
//
// The text ends at the first NUL or at the column's end (a character cut off there, which the
// bounded copy would drop, begins with a byte of 0x80 or above and is refused here); trailing
// blanks do not count. The decimal point is the column's '.' (which reading turns into the
// user's separator) or the separator itself, and is taken only when the separator is the C
// runtime's decimal point: otherwise strtod stops at it, which strtod itself then does.
bool ParsePlainDecimal(const unsigned char* p, size_t n, char sep, double& value) {
#if FLT_EVAL_METHOD != 0
    return false;  // without plain double arithmetic the argument above does not hold
#endif
    if ((sep != '.' && sep != ',') || sep != QvNumericRadix() || !RoundsToNearest()) {
        return false;
    }
    const unsigned char* q = p;
    const unsigned char* const end = p + n;
    constexpr uint64_t kEightBlanks = 0x2020202020202020ULL;
    for (uint64_t w; end - q >= 8 && (std::memcpy(&w, q, sizeof w), w == kEightBlanks);) {
        q += 8;
    }
    while (q < end && *q == ' ') {
        ++q;
    }
    bool bSign = false;
    bool bNegative = false;
    if (q < end && (*q == '+' || *q == '-')) {
        bSign = true;
        bNegative = *q == '-';
        ++q;
    }
    const unsigned char* const intBegin = q;
    while (q < end && IsDigit(*q)) {
        ++q;
    }
    const size_t nInt = static_cast<size_t>(q - intBegin);
    const unsigned char* fracBegin = q;
    size_t nFrac = 0;
    bool bPoint = false;
    if (q < end && (*q == '.' || *q == static_cast<unsigned char>(sep))) {
        bPoint = true;
        fracBegin = ++q;
        while (q < end && IsDigit(*q)) {
            ++q;
        }
        nFrac = static_cast<size_t>(q - fracBegin);
    }
    for (; q < end && *q != '\0'; ++q) {
        if (*q != ' ') {
            return false;  // an exponent, a second point, a '*', any other byte
        }
    }
    const size_t nDigits = nInt + nFrac;
    if (nDigits == 0) {
        if (bSign || bPoint) {
            return false;
        }
        value = 0.0;  // a blank column: no number
        return true;
    }
    // The digits without the point; leading and trailing zeros do not enter m (trailing ones
    // raise the power of ten instead).
    unsigned char digits[256];
    std::memcpy(digits, intBegin, nInt);
    std::memcpy(digits + nInt, fracBegin, nFrac);
    size_t first = 0;
    while (first < nDigits && digits[first] == '0') {
        ++first;
    }
    uint64_t m = 0;
    long exponent = 0;
    if (first < nDigits) {
        size_t last = nDigits;
        while (digits[last - 1] == '0') {
            --last;
        }
        if (last - first > 19) {
            return false;
        }
        for (size_t k = first; k < last; ++k) {
            m = m * 10 + (digits[k] - '0');
        }
        exponent = static_cast<long>(nDigits - last) - static_cast<long>(nFrac);
    }
    if (m > kMaxExactInteger || exponent > kMaxExactPower || exponent < -kMaxExactPower) {
        return false;
    }
    double d = static_cast<double>(m);
    if (bNegative) {
        d = -d;
    }
    value = exponent >= 0 ? d * kExactPowersOfTen[exponent] : d / kExactPowersOfTen[-exponent];
    return true;
}

// 5^k for the decimal counts the fixed-point formatter takes: 5^27 < 2^63.
constexpr int kMaxFastDecimals = 27;
constexpr uint64_t kPowersOfFive[kMaxFastDecimals + 1] = {1ULL,
                                                          5ULL,
                                                          25ULL,
                                                          125ULL,
                                                          625ULL,
                                                          3125ULL,
                                                          15625ULL,
                                                          78125ULL,
                                                          390625ULL,
                                                          1953125ULL,
                                                          9765625ULL,
                                                          48828125ULL,
                                                          244140625ULL,
                                                          1220703125ULL,
                                                          6103515625ULL,
                                                          30517578125ULL,
                                                          152587890625ULL,
                                                          762939453125ULL,
                                                          3814697265625ULL,
                                                          19073486328125ULL,
                                                          95367431640625ULL,
                                                          476837158203125ULL,
                                                          2384185791015625ULL,
                                                          11920928955078125ULL,
                                                          59604644775390625ULL,
                                                          298023223876953125ULL,
                                                          1490116119384765625ULL,
                                                          7450580596923828125ULL};

using Uint128 = unsigned __int128;

int BitLength(Uint128 v) {
    const uint64_t hi = static_cast<uint64_t>(v >> 64);
    const uint64_t lo = static_cast<uint64_t>(v);
    return hi != 0 ? 128 - __builtin_clzll(hi) : lo != 0 ? 64 - __builtin_clzll(lo) : 0;
}

// Writes what snprintf(text, ..., "%*.*f", nWidth, nDecimals, value) writes and returns its
// length, for finite values and at most 27 decimals, in round-to-nearest and with a one-byte
// decimal point; returns 0 (nothing written) otherwise, and the caller asks snprintf.
//
// The double is exactly M x 2^E (M < 2^53). Its value times 10^d is M x 5^d x 2^(d+E): an
// integer times a power of two, M x 5^d < 2^116 fitting 128 bits. Shifting right with the bits
// shifted out rounded half to even (printf's rounding of the exact binary value in this mode,
// ties included) gives the digits printf prints; shifting left is exact as long as it fits. The
// sign is the sign bit, so -0.0 and negatives that round to zero print as "-0.00", as printf
// prints them.
size_t FormatFixed(double value, int nWidth, int nDecimals, char* text) {
    if (nDecimals > kMaxFastDecimals || std::fegetround() != FE_TONEAREST) {
        return 0;
    }
    const char radix = QvNumericRadix();
    if (radix == '\0') {
        return 0;
    }
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool bNegative = (bits >> 63) != 0;
    const int nExponentField = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    if (nExponentField == 0x7FF) {
        return 0;  // infinity or NaN
    }
    int e2 = -1074;  // subnormal
    if (nExponentField != 0) {
        mantissa |= uint64_t{1} << 52;
        e2 = nExponentField - 1075;
    }
    const Uint128 scaled = static_cast<Uint128>(mantissa) * kPowersOfFive[nDecimals];
    const int shift = nDecimals + e2;
    Uint128 n = 0;
    if (shift >= 0) {
        if (scaled != 0 && BitLength(scaled) + shift > 127) {
            return 0;
        }
        n = scaled << shift;
    } else if (-shift < 128) {
        const int right = -shift;
        n = scaled >> right;
        const Uint128 rest = scaled - (n << right);
        const Uint128 half = static_cast<Uint128>(1) << (right - 1);
        if (rest > half || (rest == half && (n & 1) != 0)) {
            ++n;
        }
    }  // else: scaled < 2^116, below half of 2^128: rounds to 0

    // The digits of n, from the right.
    char digits[48];
    char* const end = digits + sizeof digits;
    char* p = end;
    constexpr uint64_t kTen19 = 10000000000000000000ULL;
    while (n > UINT64_MAX) {
        const Uint128 q = n / kTen19;
        uint64_t chunk = static_cast<uint64_t>(n - q * kTen19);
        for (int k = 0; k < 19; ++k) {
            *--p = static_cast<char>('0' + chunk % 10);
            chunk /= 10;
        }
        n = q;
    }
    uint64_t low = static_cast<uint64_t>(n);
    do {
        *--p = static_cast<char>('0' + low % 10);
        low /= 10;
    } while (low != 0);
    const size_t nDigits = static_cast<size_t>(end - p);
    const size_t decimals = static_cast<size_t>(nDecimals);
    const size_t nInteger = nDigits > decimals ? nDigits - decimals : 1;
    const size_t len = (bNegative ? 1 : 0) + nInteger + (decimals > 0 ? 1 + decimals : 0);
    const size_t pad = static_cast<size_t>(nWidth) > len ? static_cast<size_t>(nWidth) - len : 0;

    char* out = text;
    std::memset(out, ' ', pad);
    out += pad;
    if (bNegative) {
        *out++ = '-';
    }
    if (nDigits > decimals) {
        std::memcpy(out, p, nInteger);
        p += nInteger;
    } else {
        *out = '0';
    }
    out += nInteger;
    if (decimals > 0) {
        *out++ = radix;
        const size_t nZeros = decimals > nDigits ? decimals - nDigits : 0;
        std::memset(out, '0', nZeros);
        std::memcpy(out + nZeros, p, decimals - nZeros);
        out += decimals;
    }
    return static_cast<size_t>(out - text);
}

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
    size_t len = FormatFixed(value, m_nWidth, m_nDecimals, text);
    if (len == 0) {
        int formatted = std::snprintf(text, sizeof text, "%*.*f", m_nWidth, m_nDecimals, value);
        len = formatted > 0 ? static_cast<size_t>(formatted) : 0;
        if (len >= sizeof text) {
            len = 0;  // cannot happen for widths and decimals of one byte; never trust a cut text
        }
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
    double value;
    if (ParsePlainDecimal(cursor, m_nWidth, m_szDecimalSep[0], value)) {
        qv::StoreUnaligned<double>(member, value);
        cursor += m_nWidth;
        return;
    }
    char text[256];
    QvMbsnbcpy(reinterpret_cast<unsigned char*>(text), cursor, m_nWidth);
    text[m_nWidth] = '\0';
    NormalizeFieldText(text);
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
