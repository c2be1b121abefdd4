#include "DbfFloatField.h"

#include <cfenv>
#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "PlatformServices.h"

IMPLEMENT_DYNAMIC(DbfFloatField, ZDbfField)

namespace {

// The longest text "%*.*f" can make for a width and a decimal count of at most 255: a sign, the
// 309 integer digits of the largest double, the separator and 255 decimals.
constexpr size_t kMaxFloatText = 1 + 309 + 1 + 255;

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
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
    if ((sep != '.' && sep != ',') || sep != QvNumericRadix() ||
        std::fegetround() != FE_TONEAREST) {
        return false;
    }
    size_t i = 0;
    while (i < n && p[i] == ' ') {
        ++i;
    }
    bool bSign = false;
    bool bNegative = false;
    if (i < n && (p[i] == '+' || p[i] == '-')) {
        bSign = true;
        bNegative = p[i] == '-';
        ++i;
    }
    uint64_t m = 0;
    int nSignificant = 0;   // digits in m
    int nExponent = 0;      // value = m * 10^nExponent
    int nPendingZeros = 0;  // zeros seen after the last nonzero digit, not yet in m
    int nDigits = 0;
    bool bPoint = false;
    for (; i < n; ++i) {
        const unsigned char c = p[i];
        if (IsDigit(c)) {
            ++nDigits;
            if (bPoint) {
                --nExponent;
            }
            if (c == '0') {
                if (nSignificant > 0) {
                    ++nPendingZeros;
                }
                continue;
            }
            if (nSignificant + nPendingZeros + 1 > 19) {
                return false;
            }
            for (; nPendingZeros > 0; --nPendingZeros) {
                m *= 10;
                ++nSignificant;
            }
            m = m * 10 + (c - '0');
            ++nSignificant;
        } else if (!bPoint && (c == '.' || c == static_cast<unsigned char>(sep))) {
            bPoint = true;
        } else {
            break;
        }
    }
    // Zeros after the last nonzero digit scale the value instead of entering m.
    nExponent += nPendingZeros;
    for (; i < n && p[i] != '\0'; ++i) {
        if (p[i] != ' ') {
            return false;  // an exponent, a second point, a '*', any other byte
        }
    }
    if (nDigits == 0 && !bSign && !bPoint) {
        value = 0.0;  // a blank column: no number
        return true;
    }
    if (nDigits == 0 || m > kMaxExactInteger || nExponent > kMaxExactPower ||
        nExponent < -kMaxExactPower) {
        return false;
    }
    double d = static_cast<double>(m);
    if (bNegative) {
        d = -d;
    }
    value = nExponent >= 0 ? d * kExactPowersOfTen[nExponent] : d / kExactPowersOfTen[-nExponent];
    return true;
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
