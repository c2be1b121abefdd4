#include "DbfNumericField.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "PlatformServices.h"

IMPLEMENT_DYNAMIC(DbfNumericField, ZDbfField)

DbfNumericField::DbfNumericField(LPCSTR pszName, unsigned char nWidth, unsigned char nDecimals)
    : ZDbfField(pszName, 'N', nWidth, nDecimals) {}

DbfNumericField::DbfNumericField(const DbfFldDesc* desc) : ZDbfField(desc) {}

DbfNumericField::~DbfNumericField() = default;

namespace {

LONG Saturate(long value) {
    return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<LONG>(value);
}

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// The value strtol(text, nullptr, 10) gives the column's text, saturated to 32 bits, for the
// texts a table holds: blanks, a sign, digits, anything after them. TRUE with value set; FALSE
// for a text that starts differently, whose leading white space only the C locale's character
// classes can tell (strtol decides those).
//
// The column's text ends at its first NUL, or, in a multibyte locale, where a character cut off
// at the column's end begins; trailing blanks are removed. None of that moves the end of the
// digits: a NUL and a blank end them anyway, and a cut-off character begins with a byte of 0x80
// or above in every multibyte encoding the C library offers.
bool ParseColumn(const unsigned char* p, size_t n, LONG& value) {
    size_t i = 0;
    while (i < n && p[i] == ' ') {
        ++i;
    }
    if (i == n || p[i] == '\0') {
        value = 0;  // no number
        return true;
    }
    bool bNegative = false;
    if (p[i] == '+' || p[i] == '-') {
        bNegative = p[i] == '-';
        ++i;
    } else if (!IsDigit(p[i])) {
        return false;
    }
    // Beyond 2^31 the answer is a limit whatever follows: stop accumulating there.
    constexpr uint64_t kBeyond = uint64_t{1} << 31;
    uint64_t magnitude = 0;
    for (; i < n && IsDigit(p[i]); ++i) {
        if (magnitude <= kBeyond) {
            magnitude = magnitude * 10 + (p[i] - '0');
        }
    }
    if (bNegative) {
        value = magnitude >= kBeyond ? INT32_MIN : -static_cast<LONG>(magnitude);
    } else {
        value = magnitude > INT32_MAX ? INT32_MAX : static_cast<LONG>(magnitude);
    }
    return true;
}

}  // namespace

void DbfNumericField::WriteToBuffer(unsigned char*& cursor, void* member) {
    // "%*d" by hand: the digits right-aligned in the width, or their first width characters.
    const LONG value = qv::LoadUnaligned<LONG>(member);
    char digits[16];
    char* const end = digits + sizeof digits;
    char* p = end;
    uint32_t magnitude =
        value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        *--p = '-';
    }
    const size_t width = m_nWidth;
    const size_t len = static_cast<size_t>(end - p);
    if (len >= width) {
        std::memcpy(cursor, p, width);
    } else {
        std::memset(cursor, ' ', width - len);
        std::memcpy(cursor + (width - len), p, len);
    }
    cursor += width;
}

void DbfNumericField::ReadFromBuffer(unsigned char*& cursor, void* member) {
    LONG value;
    if (!ParseColumn(cursor, m_nWidth, value)) {
        char text[256];
        QvMbsnbcpy(reinterpret_cast<unsigned char*>(text), cursor, m_nWidth);
        text[m_nWidth] = '\0';
        NormalizeFieldText(text);
        value = Saturate(std::strtol(text, nullptr, 10));
    }
    qv::StoreUnaligned<LONG>(member, value);
    cursor += m_nWidth;
}
