// The five column types: text <-> value conversions as tables of cases. Every conversion runs on
// a column that sits between guard bytes, so a conversion that touches a byte outside its column,
// or leaves the cursor anywhere but at the column's end, fails the case.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "dbf/DbfTestUtil.h"

// glibc's newlocale builds a search list from LOCPATH (argz_add_sep) on every call and never
// frees it: each float field built in the comma-locale test below leaks inside the C library.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:argz_add_sep\n";
}

namespace {

using namespace qvtest;
using namespace std::string_literals;

constexpr unsigned char kGuardByte = 0xA5;
constexpr size_t kGuardSize = 16;

// A column of `width` bytes with guard bytes on both sides.
class GuardedColumn {
  public:
    GuardedColumn(size_t nWidth, const std::string& text, const std::string& after = "")
        : m_nWidth(nWidth), m_bytes(nWidth + 2 * kGuardSize, kGuardByte) {
        std::memcpy(Column(), text.data(), std::min(text.size(), nWidth));
        std::memcpy(Column() + nWidth, after.data(), std::min(after.size(), kGuardSize));
        m_original = m_bytes;
    }

    unsigned char* Column() { return m_bytes.data() + kGuardSize; }
    std::string Text() const {
        return std::string(reinterpret_cast<const char*>(m_bytes.data()) + kGuardSize, m_nWidth);
    }
    // True when no byte outside the column changed.
    bool GuardsIntact() const {
        return std::equal(m_bytes.begin(), m_bytes.begin() + kGuardSize, m_original.begin()) &&
               std::equal(m_bytes.end() - kGuardSize, m_bytes.end(), m_original.end() - kGuardSize);
    }

  private:
    size_t m_nWidth;
    Bytes m_bytes;
    Bytes m_original;
};

// The column text the field writes for the value at member. The column starts as '#' so a byte
// the conversion leaves unwritten shows.
std::string WriteColumn(ZDbfField& field, void* member) {
    GuardedColumn col(field.GetWidth(), std::string(field.GetWidth(), '#'));
    unsigned char* cursor = col.Column();
    field.WriteToBuffer(cursor, member);
    EXPECT_EQ(cursor, col.Column() + field.GetWidth()) << "cursor must end after the column";
    EXPECT_TRUE(col.GuardsIntact()) << "wrote outside the column";
    return col.Text();
}

// Reads the column text through the field into member. `after` are the bytes that follow the
// column (a reader that looks past its width sees them).
void ReadColumn(ZDbfField& field, const std::string& text, void* member,
                const std::string& after = "") {
    GuardedColumn col(field.GetWidth(), text, after);
    unsigned char* cursor = col.Column();
    field.ReadFromBuffer(cursor, member);
    EXPECT_EQ(cursor, col.Column() + field.GetWidth()) << "cursor must end after the column";
    EXPECT_TRUE(col.GuardsIntact());
}

template <typename T>
T ReadValue(ZDbfField& field, const std::string& text, const std::string& after = "") {
    unsigned char member[sizeof(T)];
    std::memset(member, 0x5A, sizeof member);  // a value the read must replace
    ReadColumn(field, text, member, after);
    return qv::LoadUnaligned<T>(member);
}

template <typename T>
std::string WriteValue(ZDbfField& field, T value) {
    unsigned char member[sizeof(T)];
    qv::StoreUnaligned<T>(member, value);
    return WriteColumn(field, member);
}

// A member of exactly nSize bytes on the heap, so the sanitizer reports any access past it.
class Member {
  public:
    explicit Member(size_t nSize, const std::string& init = "") : m_bytes(nSize, 0) {
        std::memcpy(m_bytes.data(), init.data(), std::min(init.size(), nSize));
    }
    unsigned char* Data() { return m_bytes.data(); }
    // The text up to the first NUL (or the whole member).
    std::string Text() const {
        const char* p = reinterpret_cast<const char*>(m_bytes.data());
        return std::string(p, strnlen(p, m_bytes.size()));
    }
    std::string Raw() const { return std::string(m_bytes.begin(), m_bytes.end()); }

  private:
    Bytes m_bytes;
};

// Sets one locale category of the C runtime for the guard's lifetime.
class ScopedLocale {
  public:
    ScopedLocale(int nCategory, const char* pszName) : m_nCategory(nCategory) {
        const char* old = std::setlocale(nCategory, nullptr);
        m_strOld = old != nullptr ? old : "C";
        m_bOk = std::setlocale(nCategory, pszName) != nullptr;
    }
    ~ScopedLocale() { std::setlocale(m_nCategory, m_strOld.c_str()); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;
    bool Ok() const { return m_bOk; }

  private:
    int m_nCategory;
    std::string m_strOld;
    bool m_bOk;
};

// ---- 'C' -------------------------------------------------------------------------------------

struct StringWriteCase {
    unsigned char nWidth;
    int bText;
    std::string member;  // the member's bytes (text: width + 1 bytes, raw: width bytes)
    std::string column;
};

void PrintTo(const StringWriteCase& c, std::ostream* os) {
    *os << "width " << int{c.nWidth} << (c.bText == 1 ? " text " : " raw ") << Quoted(c.member);
}

class StringWriteTest : public ::testing::TestWithParam<StringWriteCase> {};

TEST_P(StringWriteTest, StoresColumnText) {
    const StringWriteCase& c = GetParam();
    DbfStringField field("S", c.nWidth, c.bText);
    Member member(c.bText == 1 ? c.nWidth + 1u : c.nWidth, c.member);
    EXPECT_EQ(WriteColumn(field, member.Data()), c.column);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StringWriteTest,
    ::testing::Values(
        StringWriteCase{10, 1, "ABC", "ABC       "},
        StringWriteCase{10, 1, "ABCDEFGHIJKLMNO", "ABCDEFGHIJ"},  // cut at the width
        StringWriteCase{10, 1, "", "          "},
        // A member that fills all width + 1 bytes without a terminator ends at its last byte.
        StringWriteCase{4, 1, "WXYZQ", "WXYZ"},
        StringWriteCase{1, 0, "Q", "Q"},            // raw: the byte as it stands
        StringWriteCase{4, 0, "A\0BC"s, "A\0BC"s},  // raw: NUL included, no padding
        StringWriteCase{4, 7, "ab  ", "ab  "},      // any m_bText other than 1 is raw
        StringWriteCase{0, 1, "ABC", ""}));

struct StringReadCase {
    unsigned char nWidth;
    int bText;
    std::string column;
    std::string expected;  // text: the member's C string; raw: the member's width bytes
};

void PrintTo(const StringReadCase& c, std::ostream* os) {
    *os << "width " << int{c.nWidth} << (c.bText == 1 ? " text " : " raw ") << Quoted(c.column);
}

class StringReadTest : public ::testing::TestWithParam<StringReadCase> {};

TEST_P(StringReadTest, FillsMember) {
    const StringReadCase& c = GetParam();
    DbfStringField field("S", c.nWidth, c.bText);
    Member member(c.bText == 1 ? c.nWidth + 1u : c.nWidth, std::string(c.nWidth + 1u, 'x'));
    ReadColumn(field, c.column, member.Data());
    if (c.bText == 1) {
        EXPECT_EQ(member.Text(), c.expected);
    } else {
        EXPECT_EQ(member.Raw(), c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, StringReadTest,
                         ::testing::Values(StringReadCase{10, 1, "ABC       ", "ABC"},
                                           StringReadCase{10, 1, "ABCDEFGHIJ", "ABCDEFGHIJ"},
                                           StringReadCase{10, 1, "AB\0DEFGHIJ"s, "AB"},
                                           StringReadCase{10, 1, "  lead    ", "  lead"},
                                           StringReadCase{10, 1, "          ", ""},
                                           StringReadCase{1, 0, "Q", "Q"},
                                           StringReadCase{4, 0, "A\0 C"s, "A\0 C"s}));

TEST(StringFieldTest, TextReadTerminatesInsideWidthPlusOne) {
    // The member is exactly width + 1 bytes: a full-width text and its terminator fill it.
    DbfStringField field("S", 10, 1);
    std::vector<unsigned char> member(11 + kGuardSize, kGuardByte);
    ReadColumn(field, "ABCDEFGHIJ", member.data());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(member.data())), "ABCDEFGHIJ");
    for (size_t i = 11; i < member.size(); ++i) {
        EXPECT_EQ(member[i], kGuardByte) << "byte " << i << " after the member";
    }
}

TEST(StringFieldTest, BoundedConversionsStayInsideTheMember) {
    DbfStringField text("T", 10, 1);
    DbfStringField raw("R", 5, 0);

    {  // text read into 4 bytes: 3 characters and the terminator
        Member m(4);
        GuardedColumn col(10, "ABCDEFGHIJ");
        unsigned char* cursor = col.Column();
        text.ReadFromBufferBounded(cursor, m.Data(), 4);
        EXPECT_EQ(m.Text(), "ABC");
        EXPECT_EQ(m.Raw()[3], '\0');
        EXPECT_EQ(cursor, col.Column() + 10);
    }
    {  // a member of 0 bytes is not touched; the cursor still moves
        GuardedColumn col(10, "ABCDEFGHIJ");
        unsigned char* cursor = col.Column();
        unsigned char untouched = kGuardByte;
        text.ReadFromBufferBounded(cursor, &untouched, 0);
        EXPECT_EQ(untouched, kGuardByte);
        EXPECT_EQ(cursor, col.Column() + 10);
    }
    {  // raw read copies at most the member's bytes
        Member m(3);
        GuardedColumn col(5, "abcde");
        unsigned char* cursor = col.Column();
        raw.ReadFromBufferBounded(cursor, m.Data(), 3);
        EXPECT_EQ(m.Raw(), "abc");
        EXPECT_EQ(cursor, col.Column() + 5);
    }
    {  // text write from an unterminated 4-byte member
        Member m(4, "WXYZ");
        GuardedColumn col(10, "##########");
        unsigned char* cursor = col.Column();
        text.WriteToBufferBounded(cursor, m.Data(), 4);
        EXPECT_EQ(col.Text(), "WXYZ      ");
        EXPECT_TRUE(col.GuardsIntact());
    }
    {  // raw write of a 3-byte member into 5 columns: blank-padded
        Member m(3, "abc");
        GuardedColumn col(5, "#####");
        unsigned char* cursor = col.Column();
        raw.WriteToBufferBounded(cursor, m.Data(), 3);
        EXPECT_EQ(col.Text(), "abc  ");
        EXPECT_TRUE(col.GuardsIntact());
        EXPECT_EQ(cursor, col.Column() + 5);
    }
}

TEST(StringFieldTest, MultibyteTextIsNeverCutInsideACharacter) {
    ScopedLocale utf8(LC_CTYPE, "C.UTF-8");
    if (!utf8.Ok()) {
        GTEST_SKIP() << "the C.UTF-8 locale is not available";
    }
    const std::string e = "\xC3\xA9";  // U+00E9, two bytes
    {
        // Writing "abc" + e into 4 columns: the 4th byte would split the character.
        DbfStringField field("S", 4, 1);
        Member m(5, "abc" + e);
        EXPECT_EQ(WriteColumn(field, m.Data()), "abc ");
    }
    {
        // Reading "ab" + e + "  " into a 4-byte member leaves room for 3 bytes: "ab".
        DbfStringField field("S", 6, 1);
        Member m(4);
        GuardedColumn col(6, "ab" + e + "  ");
        unsigned char* cursor = col.Column();
        field.ReadFromBufferBounded(cursor, m.Data(), 4);
        EXPECT_EQ(m.Text(), "ab");
    }
}

// ---- 'N' -------------------------------------------------------------------------------------

struct NumericWriteCase {
    unsigned char nWidth;
    LONG value;
    std::string column;
};

void PrintTo(const NumericWriteCase& c, std::ostream* os) {
    *os << "width " << int{c.nWidth} << " value " << c.value;
}

class NumericWriteTest : public ::testing::TestWithParam<NumericWriteCase> {};

TEST_P(NumericWriteTest, RightAlignsAndCuts) {
    const NumericWriteCase& c = GetParam();
    DbfNumericField field("N", c.nWidth, 3);  // the decimal count plays no part
    EXPECT_EQ(WriteValue<LONG>(field, c.value), c.column);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumericWriteTest,
    ::testing::Values(NumericWriteCase{5, 42, "   42"}, NumericWriteCase{5, -42, "  -42"},
                      NumericWriteCase{5, 1234567, "12345"}, NumericWriteCase{5, -123456, "-1234"},
                      NumericWriteCase{5, 0, "    0"},
                      NumericWriteCase{11, INT32_MIN, "-2147483648"}, NumericWriteCase{1, 7, "7"},
                      NumericWriteCase{0, 42, ""}));

struct NumericReadCase {
    std::string column;  // the width is the text's length
    LONG expected;
};

void PrintTo(const NumericReadCase& c, std::ostream* os) {
    *os << Quoted(c.column);
}

class NumericReadTest : public ::testing::TestWithParam<NumericReadCase> {};

TEST_P(NumericReadTest, ParsesLikeAtol) {
    const NumericReadCase& c = GetParam();
    DbfNumericField field("N", static_cast<unsigned char>(c.column.size()), 0);
    EXPECT_EQ(ReadValue<LONG>(field, c.column), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, NumericReadTest,
                         ::testing::Values(NumericReadCase{"   42", 42},
                                           NumericReadCase{"  -42", -42},
                                           NumericReadCase{"12.7 ", 12},  // a fraction is dropped
                                           NumericReadCase{"     ", 0}, NumericReadCase{" +7  ", 7},
                                           NumericReadCase{"abc  ", 0},
                                           NumericReadCase{"12\0"
                                                           "99"s,
                                                           12},
                                           // beyond 32 bits: the nearest limit, also beyond 64 bits
                                           NumericReadCase{"99999999999", INT32_MAX},
                                           NumericReadCase{"-99999999999", INT32_MIN},
                                           NumericReadCase{"999999999999999999999999", INT32_MAX},
                                           NumericReadCase{"2147483647", INT32_MAX},
                                           NumericReadCase{"", 0}));

// ---- 'F' -------------------------------------------------------------------------------------

struct FloatWriteCase {
    unsigned char nWidth;
    unsigned char nDecimals;
    double value;
    std::string column;
};

void PrintTo(const FloatWriteCase& c, std::ostream* os) {
    *os << "width " << int{c.nWidth} << "." << int{c.nDecimals} << " value " << c.value;
}

// The float cases run with a '.' user locale whatever the developer's environment names.
class FloatWriteTest : public ::testing::TestWithParam<FloatWriteCase> {
  protected:
    ScopedEnv m_lcAll{"LC_ALL", "C"};
};

TEST_P(FloatWriteTest, FormatsCutsOrOverflows) {
    const FloatWriteCase& c = GetParam();
    DbfFloatField field("F", c.nWidth, c.nDecimals);
    ASSERT_EQ(field.m_szDecimalSep[0], '.') << "the test environment names a '.' locale";
    EXPECT_EQ(WriteValue<double>(field, c.value), c.column);
}

std::string Stars(size_t n) {
    return std::string(n, '*');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FloatWriteTest,
    ::testing::Values(FloatWriteCase{10, 2, 3.14159, "      3.14"},
                      // 12345678.90 is 11 characters, separator at 8: cut to the width
                      FloatWriteCase{10, 2, 12345678.9, "12345678.9"},
                      // separator at 12, beyond the width: the column overflows
                      FloatWriteCase{10, 2, 123456789012.5, Stars(10)},
                      FloatWriteCase{5, 0, 123456, "12345"},  // no separator: cut, never '*'
                      FloatWriteCase{3, 2, 99.5, "99."},      // separator at 2
                      FloatWriteCase{1, 2, 99.5, "*"},
                      FloatWriteCase{3, 2, -99.5, "-99"},  // separator at the width: decimals go
                      FloatWriteCase{20, 10, 1.5, "        1.5000000000"},
                      FloatWriteCase{8, 3, -0.25, "  -0.250"}, FloatWriteCase{0, 2, 1.5, ""}));

// Texts far longer than any column: formed in full, then cut or starred by the same rules.
TEST(FloatFieldTest, LongTextsAreFormedInFull) {
    ScopedEnv lcAll("LC_ALL", "C");
    {
        DbfFloatField field("F", 255, 255);
        EXPECT_EQ(WriteValue<double>(field, DBL_MAX), Stars(255));
        EXPECT_EQ(WriteValue<double>(field, -DBL_MAX), Stars(255));
    }
    {
        // 309 digits, no separator: the first 255 of them.
        DbfFloatField field("F", 255, 0);
        char digits[400];
        std::snprintf(digits, sizeof digits, "%.0f", DBL_MAX);
        ASSERT_EQ(std::strlen(digits), 309u);
        EXPECT_EQ(WriteValue<double>(field, DBL_MAX), std::string(digits, 255));
    }
    {
        // 1 and 255 decimals is 257 characters: the separator at 1 fits, the decimals are cut.
        DbfFloatField field("F", 10, 255);
        EXPECT_EQ(WriteValue<double>(field, 1.0), "1.00000000");
    }
    {
        // 202 characters right-aligned in 255.
        DbfFloatField field("F", 255, 200);
        EXPECT_EQ(WriteValue<double>(field, 1.0),
                  std::string(53, ' ') + "1." + std::string(200, '0'));
    }
}

struct FloatReadCase {
    std::string column;
    double expected;
};

void PrintTo(const FloatReadCase& c, std::ostream* os) {
    *os << Quoted(c.column);
}

class FloatReadTest : public ::testing::TestWithParam<FloatReadCase> {
  protected:
    ScopedEnv m_lcAll{"LC_ALL", "C"};
};

TEST_P(FloatReadTest, ParsesOrSaturates) {
    const FloatReadCase& c = GetParam();
    DbfFloatField field("F", static_cast<unsigned char>(c.column.size()), 2);
    EXPECT_EQ(ReadValue<double>(field, c.column), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, FloatReadTest,
                         ::testing::Values(FloatReadCase{"      3.14", 3.14},
                                           FloatReadCase{Stars(10), DBL_MAX},
                                           FloatReadCase{"-*   ", DBL_MAX},  // sign ignored
                                           FloatReadCase{"12*.5", DBL_MAX},  // '*' anywhere
                                           FloatReadCase{"          ", 0.0},
                                           FloatReadCase{"  -1.5e3", -1500.0},
                                           FloatReadCase{"99.", 99.0}, FloatReadCase{"abc", 0.0},
                                           FloatReadCase{"", 0.0}));

TEST(FloatFieldTest, OverflowReadsBackAsLargestDouble) {
    ScopedEnv lcAll("LC_ALL", "C");
    DbfFloatField field("F", 10, 2);
    const std::string column = WriteValue<double>(field, 123456789012.5);
    const double back = ReadValue<double>(field, column);
    EXPECT_EQ(back, 1.7976931348623157e308);
    uint64_t bits;
    std::memcpy(&bits, &back, sizeof bits);
    EXPECT_EQ(bits, 0x7FEFFFFFFFFFFFFFull);
}

// A user whose decimal separator is ','. The separator is taken from the environment's locale
// when the field is built, and the C runtime formats with ',' as well: the column must still
// hold '.', and reading must turn it back into ',' before parsing.
TEST(FloatFieldTest, CommaSeparatorLocaleStoresDot) {
    TempDir dir("qvlocale");
    ASSERT_FALSE(dir.Path().empty());
    const std::string cmd =
        "localedef -i de_DE -f UTF-8 '" + dir.Path() + "/de_DE.UTF-8' >/dev/null 2>&1";
    const int rc = std::system(cmd.c_str());
    if (!FileExists(dir.Path() + "/de_DE.UTF-8/LC_NUMERIC")) {
        GTEST_SKIP() << "localedef could not compile de_DE.UTF-8 (exit " << rc
                     << "; the de_DE source comes with Debian's locales package)";
    }
    ScopedEnv locpath("LOCPATH", dir.Path().c_str());
    ScopedEnv lcAll("LC_ALL", "de_DE.UTF-8");
    ScopedLocale numeric(LC_NUMERIC, "de_DE.UTF-8");
    if (!numeric.Ok()) {
        GTEST_SKIP() << "setlocale refused the compiled de_DE.UTF-8";
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.2f", 3.5);
    ASSERT_STREQ(probe, "3,50") << "the C runtime must format with ','";

    DbfFloatField field("AMOUNT", 4, 2);
    EXPECT_EQ(field.m_szDecimalSep[0], ',');
    EXPECT_EQ(field.m_szDecimalSep[1], '\0');
    EXPECT_EQ(WriteValue<double>(field, 3.5), "3.50");
    EXPECT_EQ(ReadValue<double>(field, "3.50"), 3.5);
    EXPECT_EQ(WriteValue<double>(field, 12345.5), "****");  // ',' at 5, beyond the width

    DbfFloatField wide("W", 8, 3);
    EXPECT_EQ(WriteValue<double>(wide, -1.25), "  -1.250");
    EXPECT_EQ(ReadValue<double>(wide, "  -1.250"), -1.25);
}

// ---- 'D' -------------------------------------------------------------------------------------

struct DateWriteCase {
    TIME32 value;
    std::string column;
};

void PrintTo(const DateWriteCase& c, std::ostream* os) {
    *os << "time " << c.value;
}

class DateWriteTest : public ::testing::TestWithParam<DateWriteCase> {
  protected:
    ScopedTimeZone m_tz{kTestTimeZone};
};

TEST_P(DateWriteTest, StoresLocalCalendarDate) {
    DbfDateField field("D");
    EXPECT_EQ(WriteValue<TIME32>(field, GetParam().value), GetParam().column);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DateWriteTest,
    ::testing::Values(DateWriteCase{1706709600, "20240131"},          // 2024-01-31 15:00 CET
                      DateWriteCase{1706655600, "20240131"},          // its local midnight
                      DateWriteCase{1706655599, "20240130"},          // one second earlier
                      DateWriteCase{1720994400 + 86399, "20240715"},  // 23:59:59 CEST
                      DateWriteCase{0, "19700101"},                   // 01:00 local
                      DateWriteCase{-3601, "19691231"},               // before 1970
                      DateWriteCase{INT32_MIN, "19011213"}, DateWriteCase{INT32_MAX, "20380119"}));

struct DateReadCase {
    std::string column;
    TIME32 expected;
};

void PrintTo(const DateReadCase& c, std::ostream* os) {
    *os << Quoted(c.column);
}

class DateReadTest : public ::testing::TestWithParam<DateReadCase> {
  protected:
    ScopedTimeZone m_tz{kTestTimeZone};
};

TEST_P(DateReadTest, GivesLocalMidnightOrZero) {
    DbfDateField field("D");
    EXPECT_EQ(ReadValue<TIME32>(field, GetParam().column), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DateReadTest,
                         ::testing::Values(DateReadCase{"20240131", 1706655600},  // 00:00 CET
                                           DateReadCase{"20240715", 1720994400},  // 00:00 CEST
                                           DateReadCase{"19700101", -3600},
                                           DateReadCase{"20380119", 2147468400},
                                           // empty and malformed dates read as 0
                                           DateReadCase{"00000000", 0}, DateReadCase{"        ", 0},
                                           DateReadCase{"2024    ", 0}, DateReadCase{"20240100", 0},
                                           DateReadCase{"20240031", 0}, DateReadCase{"00000131", 0},
                                           DateReadCase{"abcdefgh", 0},
                                           // local midnight outside the 32-bit range
                                           DateReadCase{"20380120", 0},
                                           DateReadCase{"19011213", 0}));

TEST(DateFieldTest, RoundTripKeepsTheDayDropsTheTime) {
    ScopedTimeZone tz(kTestTimeZone);
    DbfDateField field("D");
    for (TIME32 t : {1706709600, 1720994400 + 3600, 946684800 /* 2000-01-01 01:00 CET */}) {
        const TIME32 back = ReadValue<TIME32>(field, WriteValue<TIME32>(field, t));
        EXPECT_LE(back, t);
        EXPECT_GT(back, t - 86400);
        EXPECT_EQ(WriteValue<TIME32>(field, back), WriteValue<TIME32>(field, t));
    }
}

// A descriptor may give a date column any width: the conversions stay inside it.
TEST(DateFieldTest, OddWidthsStayInsideTheColumn) {
    ScopedTimeZone tz(kTestTimeZone);
    const ZDbfField::DbfFldDesc d6 = MakeDesc("D6", 'D', 6);
    const ZDbfField::DbfFldDesc d10 = MakeDesc("D10", 'D', 10);
    const ZDbfField::DbfFldDesc d0 = MakeDesc("D0", 'D', 0);
    DbfDateField narrow(&d6);
    DbfDateField wide(&d10);
    DbfDateField empty(&d0);

    EXPECT_EQ(WriteValue<TIME32>(narrow, 1706709600), "202401");
    EXPECT_EQ(WriteValue<TIME32>(wide, 1706709600), "20240131  ");
    EXPECT_EQ(WriteValue<TIME32>(empty, 1706709600), "");

    // The bytes after a 6-wide column complete a date: a reader that takes 8 bytes would see it.
    EXPECT_EQ(ReadValue<TIME32>(narrow, "202401", "31"), 0);
    EXPECT_EQ(ReadValue<TIME32>(wide, "20240131xy"), 1706655600);
    EXPECT_EQ(ReadValue<TIME32>(empty, "", "20240131"), 0);
}

// ---- 'L' -------------------------------------------------------------------------------------

struct LogicalReadCase {
    char byte;
    int32_t expected;
};

void PrintTo(const LogicalReadCase& c, std::ostream* os) {
    *os << Quoted(std::string(1, c.byte));
}

class LogicalReadTest : public ::testing::TestWithParam<LogicalReadCase> {};

TEST_P(LogicalReadTest, TrueOnlyForTtYy) {
    DbfBooleanField field("L");
    EXPECT_EQ(ReadValue<int32_t>(field, std::string(1, GetParam().byte)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LogicalReadTest,
                         ::testing::Values(LogicalReadCase{'T', 1}, LogicalReadCase{'t', 1},
                                           LogicalReadCase{'Y', 1}, LogicalReadCase{'y', 1},
                                           LogicalReadCase{'F', 0}, LogicalReadCase{'N', 0},
                                           LogicalReadCase{'?', 0}, LogicalReadCase{' ', 0},
                                           LogicalReadCase{'1', 0}, LogicalReadCase{'\0', 0}));

TEST(LogicalFieldTest, WritesTOrF) {
    DbfBooleanField field("L");
    EXPECT_EQ(WriteValue<int32_t>(field, 5), "T");
    EXPECT_EQ(WriteValue<int32_t>(field, -1), "T");
    EXPECT_EQ(WriteValue<int32_t>(field, 0), "F");
}

// A logical column of another width moves the cursor by its width, so the columns after it stay
// where the descriptors put them; width 0 converts nothing.
TEST(LogicalFieldTest, OddWidthsMoveByTheWidth) {
    const ZDbfField::DbfFldDesc d3 = MakeDesc("L3", 'L', 3);
    const ZDbfField::DbfFldDesc d0 = MakeDesc("L0", 'L', 0);
    DbfBooleanField wide(&d3);
    DbfBooleanField empty(&d0);

    EXPECT_EQ(WriteValue<int32_t>(wide, 1), "T  ");
    EXPECT_EQ(WriteValue<int32_t>(wide, 0), "F  ");
    EXPECT_EQ(ReadValue<int32_t>(wide, "y??"), 1);
    EXPECT_EQ(ReadValue<int32_t>(wide, " T "), 0);  // only the first byte counts

    EXPECT_EQ(WriteValue<int32_t>(empty, 1), "");
    EXPECT_EQ(ReadValue<int32_t>(empty, "", "T"), 0);
}

// ---- a whole row -----------------------------------------------------------------------------

// The columns of a row are visited back to back after the deletion flag.
TEST(FieldRowTest, ColumnsFollowEachOther) {
    ScopedTimeZone tz(kTestTimeZone);
    ScopedEnv lcAll("LC_ALL", "C");
    TestSchema schema({{"NAME", 'C', 10, 0},
                       {"COUNT", 'N', 5, 0},
                       {"DAY", 'D', 8, 0},
                       {"VALUE", 'F', 8, 2},
                       {"FLAG", 'L', 1, 0}});
    schema.CreateFieldDesc();
    ASSERT_EQ(schema.GetRecordLength(), 33);

    TestRecord rec;
    rec.SetText(0, "ABC");
    rec.Set<LONG>(1, 42);
    rec.Set<TIME32>(2, 1706709600);
    rec.Set<double>(3, -2.5);
    rec.Set<int32_t>(4, 1);
    GuardedColumn row(33, std::string(33, '#'));
    unsigned char* cursor = row.Column();
    schema.WriteToBuffer(cursor, &rec);
    EXPECT_EQ(cursor, row.Column() + 33);
    EXPECT_EQ(row.Text(), " ABC          4220240131   -2.50T");
    EXPECT_TRUE(row.GuardsIntact());

    TestRecord back;
    cursor = row.Column();
    schema.ReadFromBuffer(cursor, &back);
    EXPECT_EQ(cursor, row.Column() + 33);
    EXPECT_EQ(back.Text(0), "ABC");
    EXPECT_EQ(back.Get<LONG>(1), 42);
    EXPECT_EQ(back.Get<TIME32>(2), 1706655600);
    EXPECT_EQ(back.Get<double>(3), -2.5);
    EXPECT_EQ(back.Get<int32_t>(4), 1);
}

TEST(FieldRowTest, BaseFieldConvertsNothing) {
    ZDbfField field("X", 'X', 7, 0);
    unsigned char member[4] = {1, 2, 3, 4};
    GuardedColumn col(7, "abcdefg");
    unsigned char* cursor = col.Column();
    field.WriteToBuffer(cursor, member);
    field.ReadFromBuffer(cursor, member);
    EXPECT_EQ(cursor, col.Column());
    EXPECT_EQ(col.Text(), "abcdefg");
    EXPECT_EQ(member[0], 1);
    EXPECT_EQ(member[3], 4);
}

}  // namespace
