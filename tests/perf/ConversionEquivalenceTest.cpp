// The field classes and the log schemas against the straightforward conversions
// (ReferenceConversions.h): random values and random column texts of every width, decimal count
// and separator, whole random rows of the alarm and event layouts, in the C locale, a multibyte
// locale and a decimal-comma locale. Every byte a conversion writes must be the reference's, in
// the column or the member and outside them (guard bytes), and the cursor must stop where the
// reference's does.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cfenv>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "TextScan.h"
#include "dbf/DbfTestUtil.h"
#include "perf/ReferenceConversions.h"

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

// glibc's newlocale builds a search list from LOCPATH (argz_add_sep) on every call and never
// frees it: each float field built under the compiled comma locale leaks inside the C library.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:argz_add_sep\n";
}

namespace {

using namespace qvtest;

// ---- inputs ----------------------------------------------------------------------------------

class Rng {
  public:
    explicit Rng(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
    bool OneIn(size_t n) { return Below(n) == 0; }
    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(N)];
    }

  private:
    uint64_t m_state;
};

std::string Hex(const unsigned char* p, size_t n) {
    std::string out;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", p[i]);
        out += b;
    }
    return out;
}

// Column texts of the kinds a table holds and of the kinds a damaged or foreign one may: numbers
// as writers format them, blanks, overflow stars, dates, long digit runs, NULs, signs and
// exponents in odd places, multibyte characters cut at the column's end, and bytes at random.
std::string RandomText(Rng& rng, size_t width) {
    static const char* const kWords[] = {
        "inf", "-inf", "nan",      "0x1p4",        "1e5",  "1E-3", "+",  "-", ".",
        ",",   "*",    "\xC3\xA9", "\xE2\x82\xAC", "\xC3", "\t",   "\n", "e", "  "};
    static const char kBytes[] = {' ', '0', '1', '5', '9', '+',  '-',  '.',    ',',    'e',   'E',
                                  '*', 'x', 'i', 'n', 'a', '\t', '\0', '\xC3', '\xA9', '\xFF'};
    std::string t;
    char buf[512];
    switch (rng.Below(10)) {
        case 0:  // blank, or empty
            t.assign(rng.Below(width + 1), ' ');
            break;
        case 1: {  // a number as "%*.*f" or "%*d" writes one, perhaps cut
            const double v = (static_cast<double>(rng.Next() >> 11) / 9007199254740992.0 - 0.5) *
                             std::pow(10.0, static_cast<double>(rng.Below(24)) - 4);
            if (rng.OneIn(2)) {
                std::snprintf(buf, sizeof buf, "%*.*f", static_cast<int>(width),
                              static_cast<int>(rng.Below(16)), v);
            } else {
                std::snprintf(buf, sizeof buf, "%*lld", static_cast<int>(width),
                              static_cast<long long>(v));
            }
            t = buf;
            break;
        }
        case 2: {  // long digit runs: overflow of every integer type
            t.assign(rng.Below(4), ' ');
            if (rng.OneIn(2)) {
                t += rng.OneIn(2) ? '-' : '+';
            }
            const size_t digits = 1 + rng.Below(40);
            for (size_t i = 0; i < digits; ++i) {
                t += static_cast<char>('0' + rng.Below(10));
            }
            if (rng.OneIn(3)) {
                t += '.';
                t.append(rng.Below(30), static_cast<char>('0' + rng.Below(10)));
            }
            break;
        }
        case 3: {  // a date, well or badly formed
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", static_cast<int>(rng.Below(10000)),
                          static_cast<int>(rng.Below(14)), static_cast<int>(rng.Below(33)));
            t = buf;
            if (rng.OneIn(3)) {
                t[rng.Below(t.size())] = rng.Pick(kBytes);
            }
            break;
        }
        case 4:  // plain decimals with few digits, the common case of a fast path
            std::snprintf(
                buf, sizeof buf, "%*.*f", static_cast<int>(rng.Below(width + 1)),
                static_cast<int>(rng.Below(12)),
                static_cast<double>(static_cast<int64_t>(rng.Next() % 2000001) - 1000000) /
                    std::pow(10.0, static_cast<double>(rng.Below(8))));
            t = buf;
            break;
        case 5: {  // words and symbols strung together
            const size_t n = 1 + rng.Below(6);
            for (size_t i = 0; i < n; ++i) {
                t += rng.Pick(kWords);
                if (rng.OneIn(2)) {
                    t += static_cast<char>('0' + rng.Below(10));
                }
            }
            break;
        }
        case 6:  // text with multibyte characters
            t = "Kessel \xC3\xBC"
                "berdruck \xE2\x82\xAC";
            t.resize(std::min(t.size(), 1 + rng.Below(t.size())));
            break;
        default: {  // bytes at random from an alphabet of troublemakers
            const size_t n = rng.Below(width + 1);
            for (size_t i = 0; i < n; ++i) {
                t += rng.Pick(kBytes);
            }
            break;
        }
    }
    if (rng.OneIn(4)) {  // left-aligned with blanks after
        while (!t.empty() && t[0] == ' ') {
            t.erase(0, 1);
        }
    }
    if (t.size() < width) {
        t.append(width - t.size(), rng.OneIn(8) ? '\0' : ' ');
    }
    t.resize(width);
    return t;
}

// Doubles of every kind: tiny, huge, negative, zero of both signs, NaN, infinities, subnormals,
// decimal fractions and exact ties at the rounding digit.
double RandomDouble(Rng& rng) {
    switch (rng.Below(8)) {
        case 0: {
            static const double kSpecial[] = {0.0,
                                              -0.0,
                                              std::numeric_limits<double>::infinity(),
                                              -std::numeric_limits<double>::infinity(),
                                              std::numeric_limits<double>::quiet_NaN(),
                                              -std::numeric_limits<double>::quiet_NaN(),
                                              DBL_MAX,
                                              -DBL_MAX,
                                              DBL_MIN,
                                              std::numeric_limits<double>::denorm_min(),
                                              9007199254740992.0,
                                              9007199254740993.0,
                                              1e22,
                                              1e23,
                                              0.5,
                                              2.5,
                                              -0.5,
                                              0.125,
                                              1.005,
                                              123456789012.5};
            return rng.Pick(kSpecial);
        }
        case 1: {  // any bit pattern
            const uint64_t bits = rng.Next();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        }
        case 2:  // k / 2^n: exact binary fractions, ties when printed with fewer digits
            return std::ldexp(
                static_cast<double>(static_cast<int64_t>(rng.Next() % 2000001) - 1000000),
                -static_cast<int>(rng.Below(30)));
        case 3:  // decimal fractions as a process's values are
            return static_cast<double>(static_cast<int64_t>(rng.Next() % 200000001) - 100000000) /
                   std::pow(10.0, static_cast<double>(rng.Below(10)));
        case 4:  // any magnitude
            return std::ldexp(static_cast<double>(rng.Next() >> 11) / 9007199254740992.0,
                              static_cast<int>(rng.Below(2100)) - 1075) *
                   (rng.OneIn(2) ? -1 : 1);
        default:  // the magnitudes of measured values
            return (static_cast<double>(rng.Next() >> 11) / 9007199254740992.0 - 0.3) *
                   std::pow(10.0, static_cast<double>(rng.Below(12)) - 3);
    }
}

int32_t RandomInt(Rng& rng) {
    switch (rng.Below(4)) {
        case 0: {
            static const int32_t kSpecial[] = {0,           -1,    1,     INT32_MIN, INT32_MAX,
                                               -2147483647, 99999, -9999, 100000,    7};
            return rng.Pick(kSpecial);
        }
        case 1:
            return static_cast<int32_t>(static_cast<uint32_t>(rng.Next()));
        default:
            return static_cast<int32_t>(rng.Below(200001)) - 100000;
    }
}

// Times: the whole 32-bit range, and the days of a log, whose dates repeat row after row.
int32_t RandomTime(Rng& rng) {
    if (rng.OneIn(3)) {
        return static_cast<int32_t>(static_cast<uint32_t>(rng.Next()));
    }
    return 1700000000 + static_cast<int32_t>(rng.Below(40)) * 86400 +
           (rng.OneIn(2) ? 0 : static_cast<int32_t>(rng.Below(86400)));
}

// ---- guarded conversions ---------------------------------------------------------------------

constexpr size_t kGuard = 16;

// A region of n bytes between guards, filled with a pattern that a conversion must replace or
// leave exactly as the reference does.
struct Guarded {
    explicit Guarded(size_t n, unsigned char fill = 0xA5) : bytes(n + 2 * kGuard, fill) {}
    unsigned char* Data() { return bytes.data() + kGuard; }
    std::vector<unsigned char> bytes;
};

// describe() names the case; it is called only when the bytes differ.
template <typename Describe>
::testing::AssertionResult SameBytes(const Guarded& ours, const Guarded& ref, ptrdiff_t ourMove,
                                     ptrdiff_t refMove, Describe describe) {
    if (ours.bytes == ref.bytes && ourMove == refMove) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << describe() << "\n  ours: " << Hex(ours.bytes.data(), ours.bytes.size()) << " cursor +"
           << ourMove << "\n  ref:  " << Hex(ref.bytes.data(), ref.bytes.size()) << " cursor +"
           << refMove;
}

using RefReadFn = void (*)(ZDbfField& field, unsigned char*& cursor, void* member);
using RefWriteFn = void (*)(ZDbfField& field, unsigned char*& cursor, const void* member);

// Reads text through the field and through ref into members of nMemberSize bytes.
::testing::AssertionResult CompareRead(ZDbfField& field, RefReadFn ref, const std::string& text,
                                       size_t nMemberSize) {
    Guarded column(text.size());
    std::memcpy(column.Data(), text.data(), text.size());
    Guarded columnRef = column;
    Guarded ours(nMemberSize, 0x5A);
    Guarded theirs(nMemberSize, 0x5A);
    unsigned char* c1 = column.Data();
    unsigned char* c2 = columnRef.Data();
    field.ReadFromBuffer(c1, ours.Data());
    ref(field, c2, theirs.Data());
    auto what = [&] {
        return "read of \"" +
               Hex(reinterpret_cast<const unsigned char*>(text.data()), text.size()) + "\" by " +
               field.GetRuntimeClass()->m_lpszClassName + " width " +
               std::to_string(field.GetWidth()) + " decimals " +
               std::to_string(field.GetDecimals());
    };
    if (column.bytes != columnRef.bytes) {
        return ::testing::AssertionFailure() << what() << ": the column changed";
    }
    return SameBytes(ours, theirs, c1 - column.Data(), c2 - columnRef.Data(), what);
}

::testing::AssertionResult CompareWrite(ZDbfField& field, RefWriteFn ref, const void* member,
                                        size_t nMemberSize, const std::string& value) {
    Guarded ours(field.GetWidth(), '#');
    Guarded theirs(field.GetWidth(), '#');
    unsigned char* c1 = ours.Data();
    unsigned char* c2 = theirs.Data();
    std::vector<unsigned char> m1(static_cast<const unsigned char*>(member),
                                  static_cast<const unsigned char*>(member) + nMemberSize);
    std::vector<unsigned char> m2 = m1;
    field.WriteToBuffer(c1, m1.data());
    ref(field, c2, m2.data());
    return SameBytes(ours, theirs, c1 - ours.Data(), c2 - theirs.Data(), [&] {
        return "write of " + value + " by " + field.GetRuntimeClass()->m_lpszClassName + " width " +
               std::to_string(field.GetWidth()) + " decimals " +
               std::to_string(field.GetDecimals());
    });
}

// ---- the reference of each class, in the field's own attributes --------------------------------

char SepOf(ZDbfField& f) {
    return static_cast<DbfFloatField&>(f).m_szDecimalSep[0];
}

void RefStringRead(ZDbfField& f, unsigned char*& cursor, void* member) {
    const int bText = static_cast<DbfStringField&>(f).m_bText;
    qvref::StringRead(f.GetWidth(), bText, cursor, member,
                      bText == 1 ? f.GetWidth() + 1u : f.GetWidth());
}
void RefStringWrite(ZDbfField& f, unsigned char*& cursor, const void* member) {
    const int bText = static_cast<DbfStringField&>(f).m_bText;
    qvref::StringWrite(f.GetWidth(), bText, cursor, member,
                       bText == 1 ? f.GetWidth() + 1u : f.GetWidth());
}
void RefDateRead(ZDbfField& f, unsigned char*& cursor, void* member) {
    qvref::DateRead(f.GetWidth(), cursor, member);
}
void RefDateWrite(ZDbfField& f, unsigned char*& cursor, const void* member) {
    qvref::DateWrite(f.GetWidth(), cursor, member);
}
void RefFloatRead(ZDbfField& f, unsigned char*& cursor, void* member) {
    qvref::FloatRead(f.GetWidth(), SepOf(f), cursor, member);
}
void RefFloatWrite(ZDbfField& f, unsigned char*& cursor, const void* member) {
    qvref::FloatWrite(f.GetWidth(), f.GetDecimals(), SepOf(f), cursor, member);
}
void RefBooleanRead(ZDbfField& f, unsigned char*& cursor, void* member) {
    qvref::BooleanRead(f.GetWidth(), cursor, member);
}
void RefBooleanWrite(ZDbfField& f, unsigned char*& cursor, const void* member) {
    qvref::BooleanWrite(f.GetWidth(), cursor, member);
}
void RefNumericRead(ZDbfField& f, unsigned char*& cursor, void* member) {
    qvref::NumericRead(f.GetWidth(), cursor, member);
}
void RefNumericWrite(ZDbfField& f, unsigned char*& cursor, const void* member) {
    qvref::NumericWrite(f.GetWidth(), cursor, member);
}

// A field of the type letter from a descriptor, so that any width and decimal count can be had.
std::unique_ptr<ZDbfField> FieldFor(char chType, size_t nWidth, size_t nDecimals) {
    const ZDbfField::DbfFldDesc desc =
        MakeDesc("X", chType, static_cast<BYTE>(nWidth), static_cast<BYTE>(nDecimals));
    switch (chType) {
        case 'C':
            return std::make_unique<DbfStringField>(&desc);
        case 'D':
            return std::make_unique<DbfDateField>(&desc);
        case 'F':
            return std::make_unique<DbfFloatField>(&desc);
        case 'L':
            return std::make_unique<DbfBooleanField>(&desc);
        default:
            return std::make_unique<DbfNumericField>(&desc);
    }
}

// Widths of every size, the usual ones more often.
size_t RandomWidth(Rng& rng) {
    static const size_t kCommon[] = {0, 1, 5, 8, 10, 20, 254, 255};
    return rng.OneIn(3) ? rng.Pick(kCommon) : rng.Below(256);
}

size_t RandomDecimals(Rng& rng) {
    static const size_t kCommon[] = {0, 1, 2, 3, 10, 17, 18, 22, 23, 30, 100, 255};
    return rng.OneIn(3) ? rng.Pick(kCommon) : rng.Below(rng.OneIn(4) ? 256 : 25);
}

// ---- locales ---------------------------------------------------------------------------------

// de_DE.UTF-8 (decimal comma) compiled once into a private directory; empty when localedef cannot
// make it (the de_DE source comes with Debian's locales package).
const std::string& CommaLocaleDir() {
    static TempDir* dir = new TempDir("qvperfloc");
    static const std::string path = [] {
        const std::string cmd =
            "localedef -i de_DE -f UTF-8 '" + dir->Path() + "/de_DE.UTF-8' >/dev/null 2>&1";
        const int rc = std::system(cmd.c_str());
        (void)rc;
        return FileExists(dir->Path() + "/de_DE.UTF-8/LC_NUMERIC") ? dir->Path() : std::string();
    }();
    return path;
}

// The C runtime's whole locale set to one name for the test; LOCPATH reaches the compiled one.
class LocaleTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        const std::string name = GetParam();
        if (name == "de_DE.UTF-8") {
            if (CommaLocaleDir().empty()) {
                GTEST_SKIP() << "localedef could not compile de_DE.UTF-8";
            }
            m_locpath.emplace("LOCPATH", CommaLocaleDir().c_str());
        }
        const char* old = std::setlocale(LC_ALL, nullptr);
        m_strOld = old != nullptr ? old : "C";
        if (std::setlocale(LC_ALL, name.c_str()) == nullptr) {
            GTEST_SKIP() << "no locale " << name;
        }
    }
    void TearDown() override {
        if (!m_strOld.empty()) {
            std::setlocale(LC_ALL, m_strOld.c_str());
        }
        m_locpath.reset();
    }

    // The separators a field may hold: the user's, either one, whatever the C runtime uses.
    static void SetSeparator(ZDbfField& field, Rng& rng) {
        static_cast<DbfFloatField&>(field).m_szDecimalSep[0] = rng.OneIn(2) ? '.' : ',';
    }

  private:
    std::optional<ScopedEnv> m_locpath;
    std::string m_strOld;
};

constexpr int kCases = 20000;

TEST_P(LocaleTest, TextColumnsReadAndWriteAsTheReference) {
    Rng rng(11);
    for (int i = 0; i < kCases; ++i) {
        const size_t width = RandomWidth(rng);
        DbfStringField field("T", static_cast<unsigned char>(width),
                             rng.OneIn(4) ? static_cast<int>(rng.Below(3)) : 1);
        std::string text = RandomText(rng, width);
        if (rng.OneIn(2)) {  // words and trailing blanks, as text columns hold
            text =
                std::string("BOILER1.DRUM.PRESS \xC3\xA4") + std::string(rng.Below(8), ' ') + text;
            text.resize(width);
        }
        const size_t nMember = field.m_bText == 1 ? width + 1 : width;
        ASSERT_TRUE(CompareRead(field, RefStringRead, text, nMember));
        std::string member = RandomText(rng, nMember);
        ASSERT_TRUE(CompareWrite(
            field, RefStringWrite, member.data(), nMember,
            Hex(reinterpret_cast<const unsigned char*>(member.data()), member.size())));

        // The bounded forms, with members of any size.
        const size_t nSize = rng.Below(300);
        Guarded column(width);
        std::memcpy(column.Data(), text.data(), width);
        Guarded columnRef = column;
        Guarded ours(nSize, 0x5A);
        Guarded theirs(nSize, 0x5A);
        unsigned char* c1 = column.Data();
        unsigned char* c2 = columnRef.Data();
        field.ReadFromBufferBounded(c1, ours.Data(), nSize);
        qvref::StringRead(width, field.m_bText, c2, theirs.Data(), nSize);
        ASSERT_TRUE(SameBytes(ours, theirs, c1 - column.Data(), c2 - columnRef.Data(), [&] {
            return "bounded read of " + Hex(column.Data(), width) + " into " +
                   std::to_string(nSize);
        }));
        Guarded out(width, '#');
        Guarded outRef(width, '#');
        c1 = out.Data();
        c2 = outRef.Data();
        field.WriteToBufferBounded(c1, theirs.Data(), nSize);
        qvref::StringWrite(width, field.m_bText, c2, theirs.Data(), nSize);
        ASSERT_TRUE(SameBytes(out, outRef, c1 - out.Data(), c2 - outRef.Data(),
                              [&] { return "bounded write of " + Hex(theirs.Data(), nSize); }));
    }
}

TEST_P(LocaleTest, NumericColumnsReadAndWriteAsTheReference) {
    Rng rng(12);
    for (int i = 0; i < kCases; ++i) {
        std::unique_ptr<ZDbfField> field = FieldFor('N', RandomWidth(rng), RandomDecimals(rng));
        ASSERT_TRUE(CompareRead(*field, RefNumericRead, RandomText(rng, field->GetWidth()), 4));
        const int32_t value = RandomInt(rng);
        ASSERT_TRUE(CompareWrite(*field, RefNumericWrite, &value, 4, std::to_string(value)));
    }
}

TEST_P(LocaleTest, FloatColumnsReadAndWriteAsTheReference) {
    Rng rng(13);
    for (int i = 0; i < 3 * kCases; ++i) {
        std::unique_ptr<ZDbfField> field = FieldFor('F', RandomWidth(rng), RandomDecimals(rng));
        SetSeparator(*field, rng);
        ASSERT_TRUE(CompareRead(*field, RefFloatRead, RandomText(rng, field->GetWidth()), 8));
        const double value = RandomDouble(rng);
        char shown[64];
        std::snprintf(shown, sizeof shown, "%a", value);
        ASSERT_TRUE(CompareWrite(*field, RefFloatWrite, &value, 8, shown));
    }
}

TEST_P(LocaleTest, FloatWritesOfEveryMagnitudeAsTheReference) {
    // Widths and decimal counts around those of real tables, where the text is never cut, so
    // that every digit printf makes shows: more cases than above, all of them full texts.
    Rng rng(17);
    for (int i = 0; i < 3 * kCases; ++i) {
        std::unique_ptr<ZDbfField> field = FieldFor('F', 40 + rng.Below(216), rng.Below(31));
        SetSeparator(*field, rng);
        const double value = RandomDouble(rng);
        char shown[64];
        std::snprintf(shown, sizeof shown, "%a", value);
        ASSERT_TRUE(CompareWrite(*field, RefFloatWrite, &value, 8, shown));
    }
}

TEST_P(LocaleTest, FloatValuesRoundTripAsTheReference) {
    // What the library writes is what it reads most: a value written and read back.
    Rng rng(14);
    for (int i = 0; i < 3 * kCases; ++i) {
        std::unique_ptr<ZDbfField> field =
            FieldFor('F', 1 + rng.Below(30), rng.Below(rng.OneIn(4) ? 30 : 12));
        SetSeparator(*field, rng);
        const double value = RandomDouble(rng);
        Guarded column(field->GetWidth());
        unsigned char* cursor = column.Data();
        qvref::FloatWrite(field->GetWidth(), field->GetDecimals(), SepOf(*field), cursor, &value);
        ASSERT_TRUE(CompareRead(
            *field, RefFloatRead,
            std::string(reinterpret_cast<const char*>(column.Data()), field->GetWidth()), 8));
    }
}

TEST_P(LocaleTest, BooleanColumnsReadAndWriteAsTheReference) {
    Rng rng(15);
    for (int i = 0; i < kCases / 4; ++i) {
        std::unique_ptr<ZDbfField> field = FieldFor('L', RandomWidth(rng), 0);
        std::string text = RandomText(rng, field->GetWidth());
        if (!text.empty() && rng.OneIn(2)) {
            text[0] = "TtYyFfNn?"[rng.Below(9)];
        }
        ASSERT_TRUE(CompareRead(*field, RefBooleanRead, text, 4));
        const int32_t value = RandomInt(rng);
        ASSERT_TRUE(CompareWrite(*field, RefBooleanWrite, &value, 4, std::to_string(value)));
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, LocaleTest, ::testing::Values("C", "C.UTF-8", "de_DE.UTF-8"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             name.erase(std::remove_if(name.begin(), name.end(),
                                                       [](char c) { return !std::isalnum(c); }),
                                        name.end());
                             return name;
                         });

// The trailing-blank scan that stands in for NormalizeFieldText's loop: every length up to past
// two 16-byte steps, with the last non-blank byte (or none) at every position.
TEST(TrimmedLengthTest, FindsTheLastNonBlankByte) {
    for (size_t len = 0; len <= 80; ++len) {
        for (size_t last = 0; last <= len; ++last) {  // last == len: no non-blank byte
            std::string text(len, ' ');
            if (last < len) {
                text[last] = last % 2 == 0 ? 'x' : '\0';
            }
            const size_t want = last < len ? last + 1 : 0;
            ASSERT_EQ(qv::TrimmedLength(reinterpret_cast<const unsigned char*>(text.data()), len),
                      want)
                << "length " << len << ", last non-blank at " << last;
        }
    }
}

// ---- rounding modes --------------------------------------------------------------------------

// strtod and printf round in the current rounding mode; the fast paths, which stand for them in
// round-to-nearest, must step aside in every other mode.
class RoundingModeTest : public ::testing::TestWithParam<int> {
  protected:
    // Plain decimals, the texts the fast path reads, and the texts of written values.
    static void CompareFloats(uint64_t seed) {
        Rng rng(seed);
        for (int i = 0; i < kCases / 4; ++i) {
            std::unique_ptr<ZDbfField> field = FieldFor('F', 1 + rng.Below(40), rng.Below(20));
            const double value = RandomDouble(rng);
            char shown[64];
            std::snprintf(shown, sizeof shown, "%a", value);
            ASSERT_TRUE(CompareWrite(*field, RefFloatWrite, &value, 8, shown));
            char text[64];
            std::snprintf(
                text, sizeof text, "%*.*f", static_cast<int>(field->GetWidth()),
                static_cast<int>(rng.Below(12)),
                static_cast<double>(static_cast<int64_t>(rng.Next() % 2000001) - 1000000) /
                    std::pow(10.0, static_cast<double>(rng.Below(8))));
            std::string column(text);
            column.resize(field->GetWidth(), ' ');
            ASSERT_TRUE(CompareRead(*field, RefFloatRead, column, 8));
            ASSERT_TRUE(CompareRead(*field, RefFloatRead, RandomText(rng, field->GetWidth()), 8));
        }
    }
};

TEST_P(RoundingModeTest, FloatColumnsConvertAsTheReference) {
    const int saved = std::fegetround();
    ASSERT_EQ(std::fesetround(GetParam()), 0);
    CompareFloats(31);
    std::fesetround(saved);
}

INSTANTIATE_TEST_SUITE_P(Modes, RoundingModeTest,
                         ::testing::Values(FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO));

#if defined(__SSE2__)
// A program that sets the SSE unit's rounding alone (_mm_setcsr): glibc's fegetround reads the
// x87 unit and still says nearest, and strtod rounds to nearest, but a division would not.
TEST(SseRoundingTest, FloatColumnsConvertAsTheReference) {
    const unsigned int saved = _mm_getcsr();
    _mm_setcsr((saved & ~_MM_ROUND_MASK) | _MM_ROUND_UP);
    ASSERT_EQ(std::fegetround(), FE_TONEAREST);
    for (const char* text : {"0.1", "  123.4560000000", "-2.675", "        0.3"}) {
        std::unique_ptr<ZDbfField> field = FieldFor('F', std::strlen(text), 2);
        EXPECT_TRUE(CompareRead(*field, RefFloatRead, text, 8));
    }
    for (int i = 0; i < 50; ++i) {
        Rng rng(32 + static_cast<uint64_t>(i));
        char text[32];
        std::snprintf(text, sizeof text, "%.*f", static_cast<int>(1 + rng.Below(9)),
                      static_cast<double>(rng.Below(100000000)) / 1e4);
        std::unique_ptr<ZDbfField> field = FieldFor('F', std::strlen(text), 2);
        EXPECT_TRUE(CompareRead(*field, RefFloatRead, text, 8));
    }
    _mm_setcsr(saved);
}
#endif

// ---- dates in several time zones -------------------------------------------------------------

class DateZoneTest : public ::testing::TestWithParam<const char*> {};

TEST_P(DateZoneTest, DateColumnsReadAndWriteAsTheReference) {
    const char* tz = GetParam();
    std::optional<ScopedEnv> env;
    if (tz[0] == '\0') {
        env.emplace("TZ", nullptr);  // the system's zone, /etc/localtime
    } else {
        env.emplace("TZ", tz);
    }
    tzset();
    Rng rng(16);
    for (int i = 0; i < kCases / 2; ++i) {
        std::unique_ptr<ZDbfField> field = FieldFor('D', rng.OneIn(2) ? 8 : RandomWidth(rng), 0);
        // Dates repeat in a log: the same texts and values come back again and again.
        std::string text;
        if (rng.OneIn(2)) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "2024%02d%02d", 1 + static_cast<int>(rng.Below(12)),
                          1 + static_cast<int>(rng.Below(3)));
            text = buf;
            text.resize(field->GetWidth(), ' ');
        } else {
            text = RandomText(rng, field->GetWidth());
        }
        ASSERT_TRUE(CompareRead(*field, RefDateRead, text, 4)) << "TZ=" << tz;
        const int32_t value = RandomTime(rng);
        ASSERT_TRUE(CompareWrite(*field, RefDateWrite, &value, 4, std::to_string(value)))
            << "TZ=" << tz;
    }
    env.reset();
    tzset();
}

INSTANTIATE_TEST_SUITE_P(Zones, DateZoneTest,
                         ::testing::Values("", "UTC0", "CET-1CEST,M3.5.0,M10.5.0/3",
                                           "America/New_York", "Australia/Lord_Howe",
                                           "Pacific/Apia"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param[0] != '\0' ? info.param : "System";
                             name.erase(std::remove_if(name.begin(), name.end(),
                                                       [](char c) { return !std::isalnum(c); }),
                                        name.end());
                             return name;
                         });

// A date field that remembers the dates it converted last must see the process change its time
// zone: converting the same text or value again after setenv and tzset gives the new zone's
// answer, in both directions, whichever zone came before.
TEST(DateZoneChangeTest, ConversionsFollowTheNewZone) {
    const char* const kZones[] = {
        "UTC0", "EST5EDT,M3.2.0,M11.1.0", "CET-1CEST,M3.5.0,M10.5.0/3", nullptr, "Asia/Tokyo",
        "UTC0"};
    DbfDateField field("D");
    const int32_t value = 1710460800 + 2 * 3600;  // 2024-03-15 02:00 UTC
    std::optional<ScopedEnv> restore;
    restore.emplace("TZ", "UTC0");
    for (const char* tz : kZones) {
        if (tz != nullptr) {
            setenv("TZ", tz, 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
        for (int repeat = 0; repeat < 3; ++repeat) {
            ASSERT_TRUE(CompareRead(field, RefDateRead, "20240315", 4))
                << "TZ=" << (tz != nullptr ? tz : "(unset)");
            ASSERT_TRUE(CompareWrite(field, RefDateWrite, &value, 4, "2024-03-15 02:00 UTC"))
                << "TZ=" << (tz != nullptr ? tz : "(unset)");
        }
    }
    restore.reset();
    tzset();
}

// A host that sets TZ without calling tzset(): localtime_r keeps the C library's previous zone
// until something calls tzset(), and a remembered text must follow that too.
TEST(DateZoneChangeTest, WritesFollowATzsetMadeAfterTheTzChange) {
    DbfDateField field("D");
    const int32_t value =
        1710460800 + 2 * 3600;  // 2024-03-15 02:00 UTC, 22:00 the day before in New York
    auto written = [&] {
        char column[8];
        unsigned char* cursor = reinterpret_cast<unsigned char*>(column);
        field.WriteToBuffer(cursor, const_cast<int32_t*>(&value));
        return std::string(column, sizeof column);
    };
    std::optional<ScopedEnv> restore;
    restore.emplace("TZ", "UTC0");
    tzset();
    EXPECT_EQ(written(), "20240315");
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    for (int repeat = 0; repeat < 2; ++repeat) {
        ASSERT_TRUE(CompareWrite(field, RefDateWrite, &value, 4, "before tzset"));
    }
    tzset();
    for (int repeat = 0; repeat < 2; ++repeat) {
        ASSERT_TRUE(CompareWrite(field, RefDateWrite, &value, 4, "after tzset"));
        EXPECT_EQ(written(), "20240314");
    }
    restore.reset();
    tzset();
}

// ---- whole rows of the log layouts -----------------------------------------------------------

enum class Member { kDate, kText, kRaw, kDouble, kWord, kLong };

struct ColumnOf {
    Member member;
    size_t nOffset;
    size_t nSize;
};

#define QV_ALARM(m) offsetof(ALMEVENT, m), sizeof(ALMEVENT::m)
const ColumnOf kAlarm[] = {
    {Member::kDate, QV_ALARM(date)},        {Member::kText, QV_ALARM(time)},
    {Member::kWord, QV_ALARM(militime)},    {Member::kText, QV_ALARM(transType)},
    {Member::kText, QV_ALARM(tagName)},     {Member::kDouble, QV_ALARM(tagValue)},
    {Member::kRaw, QV_ALARM(tagType)},      {Member::kDouble, QV_ALARM(threshVal)},
    {Member::kWord, QV_ALARM(threshNum)},   {Member::kText, QV_ALARM(threshLabel)},
    {Member::kWord, QV_ALARM(severity)},    {Member::kRaw, QV_ALARM(dstFlag)},
    {Member::kText, QV_ALARM(userId)},      {Member::kWord, QV_ALARM(alarmType)},
    {Member::kText, QV_ALARM(description)}, {Member::kText, QV_ALARM(userStn)},
    {Member::kText, QV_ALARM(loggingStn)},
};
#undef QV_ALARM

#define QV_EVENT(m) offsetof(LOGEVENT2, m), sizeof(LOGEVENT2::m)
const ColumnOf kEvent[] = {
    {Member::kWord, QV_EVENT(type)},     {Member::kLong, QV_EVENT(id)},
    {Member::kDate, QV_EVENT(date)},     {Member::kText, QV_EVENT(time)},
    {Member::kWord, QV_EVENT(militime)}, {Member::kRaw, QV_EVENT(dstFlag)},
    {Member::kText, QV_EVENT(category)}, {Member::kText, QV_EVENT(source)},
    {Member::kText, QV_EVENT(user)},     {Member::kText, QV_EVENT(description)},
    {Member::kText, QV_EVENT(userStn)},  {Member::kText, QV_EVENT(loggingStn)},
};
#undef QV_EVENT

char TypeOf(Member m) {
    switch (m) {
        case Member::kDate:
            return 'D';
        case Member::kText:
        case Member::kRaw:
            return 'C';
        case Member::kDouble:
            return 'F';
        default:
            return 'N';
    }
}

// The reference conversion of one field, whatever its class, into a value of its own type.
void RefReadAny(ZDbfField& f, unsigned char*& cursor, void* member, size_t nSize) {
    if (f.IsKindOf(RUNTIME_CLASS(DbfStringField))) {
        qvref::StringRead(f.GetWidth(), static_cast<DbfStringField&>(f).m_bText, cursor, member,
                          nSize);
    } else if (f.IsKindOf(RUNTIME_CLASS(DbfDateField))) {
        RefDateRead(f, cursor, member);
    } else if (f.IsKindOf(RUNTIME_CLASS(DbfFloatField))) {
        RefFloatRead(f, cursor, member);
    } else if (f.IsKindOf(RUNTIME_CLASS(DbfBooleanField))) {
        RefBooleanRead(f, cursor, member);
    } else if (f.IsKindOf(RUNTIME_CLASS(DbfNumericField))) {
        RefNumericRead(f, cursor, member);
    }
}

void RefWriteAny(ZDbfField& f, unsigned char*& cursor, const void* member, size_t nSize) {
    if (f.IsKindOf(RUNTIME_CLASS(DbfStringField))) {
        qvref::StringWrite(f.GetWidth(), static_cast<DbfStringField&>(f).m_bText, cursor, member,
                           nSize);
    } else if (f.IsKindOf(RUNTIME_CLASS(DbfDateField))) {
        RefDateWrite(f, cursor, member);
    } else if (f.IsKindOf(RUNTIME_CLASS(DbfFloatField))) {
        RefFloatWrite(f, cursor, member);
    } else if (f.IsKindOf(RUNTIME_CLASS(DbfBooleanField))) {
        RefBooleanWrite(f, cursor, member);
    } else if (f.IsKindOf(RUNTIME_CLASS(DbfNumericField))) {
        RefNumericWrite(f, cursor, member);
    }
}

bool RightClass(ZDbfField& f, Member m) {
    switch (m) {
        case Member::kDate:
            return f.IsKindOf(RUNTIME_CLASS(DbfDateField));
        case Member::kText:
        case Member::kRaw:
            return f.IsKindOf(RUNTIME_CLASS(DbfStringField));
        case Member::kDouble:
            return f.IsKindOf(RUNTIME_CLASS(DbfFloatField));
        default:
            return f.IsKindOf(RUNTIME_CLASS(DbfNumericField));
    }
}

// A row through the reference column conversions, as the log schemas convert one: the deletion
// flag skipped, empty slots skipped, a field of the wrong class converted into scratch, WORD
// members through a 32-bit temporary.
template <size_t N>
void RefReadRow(ZDbfSchema& schema, const ColumnOf (&cols)[N], int nColumns, unsigned char*& cursor,
                unsigned char* record) {
    ++cursor;
    for (int i = 0; i < nColumns; ++i) {
        ZDbfField* f = schema.GetField(i);
        if (f == nullptr) {
            continue;
        }
        const ColumnOf& c = cols[i];
        if (!RightClass(*f, c.member)) {
            unsigned char scratch[256];
            RefReadAny(*f, cursor, scratch, f->GetWidth() + 1u);
            continue;
        }
        if (c.member == Member::kWord) {
            int32_t value = 0;
            RefNumericRead(*f, cursor, &value);
            const uint16_t w = static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFF);
            std::memcpy(record + c.nOffset, &w, sizeof w);
        } else {
            RefReadAny(*f, cursor, record + c.nOffset, c.nSize);
        }
    }
}

template <size_t N>
void RefWriteRow(ZDbfSchema& schema, const ColumnOf (&cols)[N], int nColumns,
                 unsigned char*& cursor, const unsigned char* record) {
    *cursor++ = ' ';
    for (int i = 0; i < nColumns; ++i) {
        ZDbfField* f = schema.GetField(i);
        if (f == nullptr) {
            continue;
        }
        const ColumnOf& c = cols[i];
        if (!RightClass(*f, c.member)) {
            const unsigned char scratch[256] = {};
            RefWriteAny(*f, cursor, scratch, f->GetWidth() + 1u);
            continue;
        }
        if (c.member == Member::kWord) {
            uint16_t w;
            std::memcpy(&w, record + c.nOffset, sizeof w);
            const int32_t value = w;
            RefNumericWrite(*f, cursor, &value);
        } else {
            RefWriteAny(*f, cursor, record + c.nOffset, c.nSize);
        }
    }
}

// A descriptor block of the layout with random widths (the readers accept any width), read into
// the schema as OpenTable would.
template <size_t N>
bool ReadRandomDescriptors(ZDbfSchema& schema, const ColumnOf (&cols)[N], int nColumns, Rng& rng) {
    Bytes block;
    for (int i = 0; i < nColumns; ++i) {
        const ZDbfField::DbfFldDesc desc =
            MakeDesc("COL", TypeOf(cols[i].member), static_cast<BYTE>(RandomWidth(rng)),
                     static_cast<BYTE>(RandomDecimals(rng)));
        block.insert(block.end(), desc.m_bytes, desc.m_bytes + sizeof desc.m_bytes);
    }
    block.push_back(0x0D);
    MemFile file(block);
    return schema.ReadFieldDescs(&file) == 1;
}

template <typename Record, typename Schema, size_t N>
void CompareRows(const ColumnOf (&cols)[N], int nVersion, uint64_t seed) {
    Rng rng(seed);
    for (int round = 0; round < 300; ++round) {
        Schema schema(static_cast<decltype(Schema().GetSchemaVer())>(nVersion));
        if (round % 3 == 0) {
            schema.CreateFieldDesc();
        } else {
            ASSERT_TRUE(ReadRandomDescriptors(schema, cols, static_cast<int>(N), rng));
            schema.SetSchemaVer(static_cast<decltype(Schema().GetSchemaVer())>(nVersion));
        }
        const int nColumns = nVersion == 2 ? static_cast<int>(N) : static_cast<int>(N) - 2;
        for (int i = 0; i < schema.GetSize(); ++i) {
            if (ZDbfField* f = schema.GetField(i);
                f != nullptr && rng.OneIn(2) && f->IsKindOf(RUNTIME_CLASS(DbfFloatField))) {
                static_cast<DbfFloatField*>(f)->m_szDecimalSep[0] = rng.OneIn(2) ? '.' : ',';
            }
        }
        if (round % 10 == 9) {
            // A host that puts a field of another class, or none, into a slot: the row still
            // converts, and the member of that column is left alone.
            const int victim = static_cast<int>(rng.Below(static_cast<size_t>(nColumns)));
            if (rng.OneIn(2)) {
                schema.SetField(victim, new DbfBooleanField("ODD"));
            } else {
                delete schema.GetField(victim);
                schema.SetAt(victim, nullptr);
            }
        }
        const size_t rowBytes = schema.GetRowBytes();
        for (int row = 0; row < 40; ++row) {
            // Read: a row of random column texts.
            Guarded text(rowBytes);
            size_t at = 1;
            text.Data()[0] = rng.OneIn(10) ? '*' : ' ';
            for (int i = 0; i < schema.GetSize(); ++i) {
                if (ZDbfField* f = schema.GetField(i)) {
                    const std::string t = RandomText(rng, f->GetWidth());
                    std::memcpy(text.Data() + at, t.data(), t.size());
                    at += t.size();
                }
            }
            Guarded ours(sizeof(Record), 0x5A);
            Guarded theirs(sizeof(Record), 0x5A);
            unsigned char* c1 = text.Data();
            unsigned char* c2 = text.Data();
            schema.ReadFromBuffer(c1, ours.Data());
            RefReadRow(schema, cols, nColumns, c2, theirs.Data());
            ASSERT_TRUE(SameBytes(ours, theirs, c1 - text.Data(), c2 - text.Data(),
                                  [&] { return "row " + Hex(text.Data(), rowBytes); }));

            // Write: the record just read, and one of random members.
            Guarded record = ours;
            if (row % 2 == 1) {
                for (size_t k = 0; k < sizeof(Record); ++k) {
                    record.Data()[k] = static_cast<unsigned char>(rng.Next());
                }
                for (int i = 0; i < nColumns; ++i) {
                    if (cols[i].member == Member::kDouble) {
                        const double d = RandomDouble(rng);
                        std::memcpy(record.Data() + cols[i].nOffset, &d, sizeof d);
                    } else if (cols[i].member == Member::kDate) {
                        const int32_t t = RandomTime(rng);
                        std::memcpy(record.Data() + cols[i].nOffset, &t, sizeof t);
                    } else if (cols[i].member == Member::kText && rng.OneIn(2)) {
                        record.Data()[cols[i].nOffset + rng.Below(cols[i].nSize)] = '\0';
                    }
                }
            }
            Guarded out(rowBytes, '#');
            Guarded outRef(rowBytes, '#');
            c1 = out.Data();
            c2 = outRef.Data();
            schema.WriteToBuffer(c1, record.Data());
            RefWriteRow(schema, cols, nColumns, c2, record.Data());
            ASSERT_TRUE(SameBytes(out, outRef, c1 - out.Data(), c2 - outRef.Data(),
                                  [&] { return "record " + Hex(record.Data(), sizeof(Record)); }));
        }
    }
}

// The schema remembers which fields convert straight into their members. A field deleted and
// replaced by one of another class often lands at the same address (the allocator hands the
// freed block out again): the new one must still go through scratch, never into the member.
TEST(RowCacheTest, AFieldReplacedAtTheSameAddressIsTestedAgain) {
    LgaSchema schema(LGA_SCHEMA_VER_2);
    schema.CreateFieldDesc();
    const int kMilitime = 2;  // a WORD member, through a numeric field of width 5
    std::vector<unsigned char> row(schema.GetRowBytes(), ' ');
    size_t offset = 1;
    for (int i = 0; i < kMilitime; ++i) {
        offset += schema.GetField(i)->GetWidth();
    }
    std::memcpy(&row[offset], "  123", 5);
    ALMEVENT record;
    unsigned char* cursor = row.data();
    schema.ReadFromBuffer(cursor, &record);
    ASSERT_EQ(WORD{record.militime}, 123);  // a packed member: copied, never referenced

    ZDbfField* old = schema.GetField(kMilitime);
    const void* oldAddress = old;
    schema.SetAt(kMilitime, nullptr);
    delete old;
    const ZDbfField::DbfFldDesc desc = MakeDesc("Militime", 'L', 5);
    ZDbfField* odd = new DbfBooleanField(&desc);  // the same size as a numeric field
    schema.SetAt(kMilitime, odd);
    std::memset(&record, 0x5A, sizeof record);
    cursor = row.data();
    schema.ReadFromBuffer(cursor, &record);
    EXPECT_EQ(cursor, row.data() + row.size());
    EXPECT_EQ(WORD{record.militime}, 0x5A5A) << "a logical field converted into the WORD member"
                                             << (odd == oldAddress ? " (same address)" : "");
    cursor = row.data();
    schema.WriteToBuffer(cursor, &record);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&row[offset]), 5), "F    ");
}

// A host's own numeric field class: its conversion runs, also in the columns where the library's
// numeric field converts without a call.
class SevenField : public DbfNumericField {
  public:
    using DbfNumericField::DbfNumericField;
    void ReadFromBuffer(unsigned char*& cursor, void* member) override {
        qv::StoreUnaligned<LONG>(member, 7);
        cursor += m_nWidth;
    }
};

TEST(RowCacheTest, ADerivedNumericFieldConvertsItsOwnWay) {
    LgeSchema schema(LGE_SCHEMA_VER_2);
    schema.CreateFieldDesc();
    schema.SetField(0, new SevenField("Type", 1, 0));  // a WORD member
    schema.SetField(1, new SevenField("Id", 10, 0));   // a LONG member
    std::vector<unsigned char> row(schema.GetRowBytes(), ' ');
    std::memcpy(&row[1], "1       123", 11);
    for (int pass = 0; pass < 2; ++pass) {  // the second row through the remembered kinds
        LOGEVENT2 record;
        std::memset(&record, 0, sizeof record);
        unsigned char* cursor = row.data();
        schema.ReadFromBuffer(cursor, &record);
        EXPECT_EQ(WORD{record.type}, 7);
        EXPECT_EQ(LONG{record.id}, 7);
        EXPECT_EQ(cursor, row.data() + row.size());
    }
}

class RowTest : public LocaleTest {};

TEST_P(RowTest, AlarmRowsConvertAsTheReference) {
    ScopedTimeZone tz(kTestTimeZone);
    CompareRows<ALMEVENT, LgaSchema>(kAlarm, 2, 21);
    CompareRows<ALMEVENT, LgaSchema>(kAlarm, 1, 22);
}

TEST_P(RowTest, EventRowsConvertAsTheReference) {
    ScopedTimeZone tz(kTestTimeZone);
    CompareRows<LOGEVENT2, LgeSchema>(kEvent, 2, 23);
    CompareRows<LOGEVENT2, LgeSchema>(kEvent, 1, 24);
}

INSTANTIATE_TEST_SUITE_P(Locales, RowTest, ::testing::Values("C", "C.UTF-8", "de_DE.UTF-8"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             name.erase(std::remove_if(name.begin(), name.end(),
                                                       [](char c) { return !std::isalnum(c); }),
                                        name.end());
                             return name;
                         });

}  // namespace
