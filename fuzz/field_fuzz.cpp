// One column made from fuzz bytes: a descriptor (any type letter, width and decimal count), the
// column's text and a value. The field is created as an opened table would create it, reads the
// text into a value and writes the value back, in a row and a member that have guard bytes
// around them. Checks: the cursor moves by exactly the width, nothing outside the column or the
// member changes, reading never changes the row, writing never changes the member, and values
// that fit their column come back as they went in.
//
// Input: bytes 0..31 the descriptor, byte 32 options, byte 33 a member size for the bounded
// text conversions, then the column text (width bytes, blank-padded when short) and the value.
#include <Quorvel32.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "FuzzSupport.h"

namespace {

using qvfuzz::Guarded;

const size_t kDescBytes = ZDbfField::DbfFldDesc::kSize;

enum Option : unsigned char {
    kRawText = 0x01,   // a 'C' column in raw mode
    kUtf8 = 0x02,      // the C locale's character type is UTF-8
    kCommaSep = 0x04,  // the user's decimal separator is ','
    kOddSep = 0x08,    // the user's decimal separator is the member-size byte
};

void UseLocale(bool bUtf8) {
    static int current = -1;
    if (current != static_cast<int>(bUtf8)) {
        QV_FUZZ_CHECK(std::setlocale(LC_CTYPE, bUtf8 ? "C.UTF-8" : "C") != nullptr);
        current = bUtf8;
    }
}

size_t MemberSize(const ZDbfField& field, bool bText) {
    switch (field.GetType()) {
        case 'C':
            return bText ? size_t{field.GetWidth()} + 1 : field.GetWidth();
        case 'F':
            return sizeof(double);
        default:
            return 4;  // 'D' TIME32, 'L' int32, 'N' LONG
    }
}

// The member a host passes for a value of no bytes (a raw column of width 0) may be null.
unsigned char* MemberPtr(Guarded& g) {
    return g.Size() == 0 ? nullptr : g.Data();
}

// memcmp that accepts the null data of an empty vector.
bool SameBytes(const unsigned char* a, const unsigned char* b, size_t n) {
    return n == 0 || std::memcmp(a, b, n) == 0;
}

// A row of one column with guard bytes around it.
struct Column {
    explicit Column(size_t nWidth) : area(nWidth) {}
    Guarded area;
    unsigned char* Begin() { return area.Data(); }
    unsigned char* End() { return area.Data() + area.Size(); }
};

// The text a column of width bytes gives back of a member text: cut at its NUL and the width,
// never inside a character, trailing blanks removed.
std::string KeptText(const unsigned char* text, size_t nTextMax, size_t width) {
    size_t n = strnlen(reinterpret_cast<const char*>(text), nTextMax);
    if (n > width) {
        n = QvMbsWholePrefix(text, width);
    }
    if (n == width) {
        // A column filled to its last byte is read without a cut character at its end: only
        // an invalid text (a lead byte last) loses a byte here.
        n = QvMbsWholePrefix(text, n);
    }
    std::string s(reinterpret_cast<const char*>(text), n);
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

void CheckRoundTrip(ZDbfField& field, bool bText, const unsigned char* value,
                    const unsigned char* back) {
    const size_t width = field.GetWidth();
    switch (field.GetType()) {
        case 'C':
            if (bText) {
                QV_FUZZ_CHECK(KeptText(value, width + 1, width) ==
                              reinterpret_cast<const char*>(back));
            } else {
                QV_FUZZ_CHECK(SameBytes(value, back, width));
            }
            break;
        case 'L': {
            const int32_t in = qv::LoadUnaligned<int32_t>(value);
            QV_FUZZ_CHECK(qv::LoadUnaligned<int32_t>(back) == (width > 0 && in != 0 ? 1 : 0));
            break;
        }
        case 'N': {
            const LONG in = qv::LoadUnaligned<LONG>(value);
            char text[32];
            if (static_cast<size_t>(std::snprintf(text, sizeof text, "%d", in)) <= width) {
                QV_FUZZ_CHECK(qv::LoadUnaligned<LONG>(back) == in);
            }
            break;
        }
        case 'D': {
            // Local midnight of the value's local date, when the date has 8 digits.
            const time_t in = qv::LoadUnaligned<TIME32>(value);
            struct tm t;
            if (width >= 8 && localtime_r(&in, &t) != nullptr && t.tm_year + 1900 >= 1000 &&
                t.tm_year + 1900 <= 9999) {
                t.tm_hour = t.tm_min = t.tm_sec = 0;
                t.tm_isdst = -1;
                const time_t midnight = mktime(&t);
                if (midnight >= INT32_MIN && midnight <= INT32_MAX) {
                    QV_FUZZ_CHECK(qv::LoadUnaligned<TIME32>(back) == midnight);
                }
            }
            break;
        }
        case 'F': {
            const double in = qv::LoadUnaligned<double>(value);
            const double out = qv::LoadUnaligned<double>(back);
            const DbfFloatField& f = static_cast<const DbfFloatField&>(field);
            if (f.m_szDecimalSep[0] != '.' || !std::isfinite(in)) {
                break;  // only the C locale's separator survives the C runtime's formatting
            }
            char text[640];
            const int n =
                std::snprintf(text, sizeof text, "%*.*f", int(width), int(field.GetDecimals()), in);
            const char* dot = std::strchr(text, '.');
            if (width == 0) {
                QV_FUZZ_CHECK(out == 0.0);  // a column of no bytes holds no number
            } else if (dot != nullptr && static_cast<size_t>(dot - text) > width) {
                QV_FUZZ_CHECK(out == DBL_MAX);  // starred
            } else if (n > 0 && static_cast<size_t>(n) <= width && field.GetDecimals() <= 15 &&
                       std::fabs(in) < 1e15) {
                const double tolerance =
                    0.5 * std::pow(10.0, -double(field.GetDecimals())) + std::fabs(in) * 1e-15;
                QV_FUZZ_CHECK(std::fabs(out - in) <= tolerance);
            }
            break;
        }
    }
}

void Exercise(ZDbfField& field, unsigned char options, size_t nBoundedSize, const uint8_t* text,
              size_t nText, const uint8_t* val, size_t nVal) {
    const size_t width = field.GetWidth();
    DbfStringField* pString =
        field.GetType() == 'C' ? static_cast<DbfStringField*>(&field) : nullptr;
    if (pString != nullptr) {
        pString->m_bText = (options & kRawText) ? 0 : 1;
    }
    const bool bText = pString == nullptr || pString->m_bText == 1;
    const size_t nMember = MemberSize(field, bText);

    // Column text -> value.
    Column column(width);
    std::memset(column.Begin(), ' ', width);
    std::memcpy(column.Begin(), text, std::min(width, nText));
    const std::vector<unsigned char> rowBefore(column.Begin(), column.End());
    Guarded member(nMember);
    unsigned char* cursor = column.Begin();
    field.ReadFromBuffer(cursor, MemberPtr(member));
    QV_FUZZ_CHECK(cursor == column.End());
    QV_FUZZ_CHECK(member.Intact() && column.area.Intact());
    QV_FUZZ_CHECK(SameBytes(column.Begin(), rowBefore.data(), width));
    if (pString != nullptr && bText) {
        QV_FUZZ_CHECK(std::memchr(member.Data(), 0, nMember) != nullptr);
    }

    // Value -> column text -> value.
    Guarded value(nMember);
    std::memset(value.Data(), 0, nMember);
    std::memcpy(value.Data(), val, std::min(nMember, nVal));
    if (pString != nullptr && bText && nMember > 0) {
        value.Data()[nMember - 1] = '\0';  // the plain conversion's member holds a text
    }
    const std::vector<unsigned char> valueBefore(value.Data(), value.Data() + nMember);
    cursor = column.Begin();
    field.WriteToBuffer(cursor, MemberPtr(value));
    QV_FUZZ_CHECK(cursor == column.End());
    QV_FUZZ_CHECK(value.Intact() && column.area.Intact());
    QV_FUZZ_CHECK(SameBytes(value.Data(), valueBefore.data(), nMember));
    Guarded back(nMember);
    cursor = column.Begin();
    field.ReadFromBuffer(cursor, MemberPtr(back));
    QV_FUZZ_CHECK(cursor == column.End() && back.Intact());
    CheckRoundTrip(field, bText, value.Data(), back.Data());

    // The bounded text conversions with a member of any size, as the log readers use them.
    if (pString != nullptr) {
        Guarded small(nBoundedSize);
        std::memcpy(small.Data(), val, std::min(nBoundedSize, nVal));
        if (nVal < nBoundedSize) {
            std::memset(small.Data() + nVal, 'x', nBoundedSize - nVal);  // no terminator
        }
        cursor = column.Begin();
        pString->WriteToBufferBounded(cursor, MemberPtr(small), nBoundedSize);
        QV_FUZZ_CHECK(cursor == column.End());
        QV_FUZZ_CHECK(small.Intact() && column.area.Intact());
        cursor = column.Begin();
        pString->ReadFromBufferBounded(cursor, MemberPtr(small), nBoundedSize);
        QV_FUZZ_CHECK(cursor == column.End() && small.Intact());
        if (bText && nBoundedSize > 0) {
            QV_FUZZ_CHECK(std::memchr(small.Data(), 0, nBoundedSize) != nullptr);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kDescBytes + 2) {
        return 0;
    }
    ZDbfField::DbfFldDesc desc;
    std::memcpy(desc.m_bytes, data, kDescBytes);
    const unsigned char options = data[kDescBytes];
    const unsigned char sizeByte = data[kDescBytes + 1];
    const uint8_t* rest = data + kDescBytes + 2;
    const size_t nRest = size - kDescBytes - 2;
    const size_t width = desc.GetWidth();
    const size_t nText = std::min(width, nRest);

    UseLocale((options & kUtf8) != 0);
    ZDbfSchema schema;
    int index = 0;
    const int accepted = schema.ReadFieldDesc(index, &desc);
    const char type = desc.GetType();
    const bool known = type == 'C' || type == 'D' || type == 'F' || type == 'L' || type == 'N';
    QV_FUZZ_CHECK(accepted == (known ? 1 : 0));
    if (!accepted) {
        QV_FUZZ_CHECK(schema.GetNumOfFields() == 0);
        return 0;
    }
    ZDbfField* pField = schema.GetField(0);
    QV_FUZZ_CHECK(pField != nullptr && pField->GetWidth() == width &&
                  pField->GetDecimals() == desc.GetDecimals() && pField->GetType() == type);
    if (type == 'F') {
        DbfFloatField* pFloat = static_cast<DbfFloatField*>(pField);
        if (options & kOddSep) {
            pFloat->m_szDecimalSep[0] = static_cast<char>(sizeByte);
        } else if (options & kCommaSep) {
            pFloat->m_szDecimalSep[0] = ',';
        } else {
            pFloat->m_szDecimalSep[0] = '.';
        }
    }
    Exercise(*pField, options, sizeByte % (width + 2), rest, nText, rest + nText, nRest - nText);
    return 0;
}
