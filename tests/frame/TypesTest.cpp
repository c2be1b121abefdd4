// Integer widths, CString and CTime: the value types that paths, column names and date columns
// are carried in.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

TEST(Types, WidthsMatchTheRecords) {
    EXPECT_EQ(sizeof(BOOL), 4u);
    EXPECT_EQ(sizeof(LONG), 4u);
    EXPECT_EQ(sizeof(WORD), 2u);
    EXPECT_EQ(sizeof(BYTE), 1u);
    EXPECT_EQ(sizeof(TIME32), 4u);
}

TEST(String, ConstructsCopiesAndConverts) {
    CString path("/var/log/alarms.dbf");
    EXPECT_EQ(path.GetLength(), 19);
    EXPECT_STREQ(static_cast<LPCSTR>(path), "/var/log/alarms.dbf");

    CString copy = path;
    copy.SetAt(0, 'X');
    EXPECT_STREQ(path.GetString(), "/var/log/alarms.dbf") << "a copy shares its text";
    EXPECT_STREQ(copy.GetString(), "Xvar/log/alarms.dbf");

    EXPECT_TRUE(CString(static_cast<LPCSTR>(nullptr)).IsEmpty());
    EXPECT_EQ(CString("TAGNAME", 3), CString("TAG"));
    CString joined("ALM");
    joined += "EVENT";
    EXPECT_EQ(joined, CString("ALMEVENT"));
}

TEST(String, FindReturnsFirstPositionOrMinusOne) {
    const CString name("LGA.DBF.BAK");
    EXPECT_EQ(name.Find('.'), 3);
    EXPECT_EQ(name.Find('L'), 0);
    EXPECT_EQ(name.Find('K'), 10);
    EXPECT_EQ(name.Find('x'), -1);
    EXPECT_EQ(CString().Find('.'), -1);
}

TEST(String, BufferWrittenInPlaceEndsAtFirstNul) {
    CString text;
    LPSTR pBuffer = text.GetBufferSetLength(10);
    ASSERT_NE(pBuffer, nullptr);
    EXPECT_EQ(text.GetLength(), 10);
    EXPECT_EQ(pBuffer[10], '\0');
    std::memcpy(pBuffer, "SEVERITY\0\0", 10);
    text.ReleaseBuffer(-1);
    EXPECT_EQ(text.GetLength(), 8);
    EXPECT_EQ(text, CString("SEVERITY"));

    pBuffer = text.GetBufferSetLength(8);
    std::memcpy(pBuffer, "USERNAME", 8);
    text.ReleaseBuffer(4);
    EXPECT_EQ(text, CString("USER"));
}

// Sets TZ for one scope and puts the previous value back.
class TimeZoneScope {
  public:
    explicit TimeZoneScope(const char* pszZone) {
        const char* pszOld = std::getenv("TZ");
        m_bHadZone = pszOld != nullptr;
        if (m_bHadZone) {
            m_strOld = pszOld;
        }
        setenv("TZ", pszZone, 1);
        tzset();
    }
    ~TimeZoneScope() {
        if (m_bHadZone) {
            setenv("TZ", m_strOld.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    TimeZoneScope(const TimeZoneScope&) = delete;
    TimeZoneScope& operator=(const TimeZoneScope&) = delete;

  private:
    bool m_bHadZone = false;
    std::string m_strOld;
};

TEST(Time, LocalConstructionAndFormatInUtc) {
    TimeZoneScope zone("UTC");
    CTime t(2024, 3, 15, 12, 30, 45, -1);
    EXPECT_TRUE(t.IsValid());
    EXPECT_EQ(t.GetTime(), 1710505845);
    EXPECT_EQ(t.Format("%Y-%m-%d %H:%M:%S"), CString("2024-03-15 12:30:45"));
    EXPECT_EQ(CTime(0).Format("%Y%m%d"), CString("19700101"));
    // Out-of-range fields are normalised, as for a date column's day 32.
    EXPECT_EQ(CTime(2024, 1, 32, 0, 0, 0, -1).Format("%Y-%m-%d"), CString("2024-02-01"));
}

TEST(Time, SecondBeforeEpochIsAValidTime) {
    // mktime's failure value is also this real time; the object must not call it invalid.
    TimeZoneScope zone("UTC");
    CTime t(1969, 12, 31, 23, 59, 59, -1);
    EXPECT_TRUE(t.IsValid());
    EXPECT_EQ(t.GetTime(), -1);
}

TEST(Time, PlatformDecidesDaylightSavingWhenAskedTo) {
    // A POSIX rule, so the test needs no time zone database.
    TimeZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
    struct Case {
        int nMonth;
        time_t expected;
        const char* pszZone;
    };
    const Case cases[] = {
        {1, 1705316400, "CET"},   // 2024-01-15 12:00 local = 11:00 UTC
        {7, 1721037600, "CEST"},  // 2024-07-15 12:00 local = 10:00 UTC
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszZone);
        CTime t(2024, c.nMonth, 15, 12, 0, 0, -1);
        EXPECT_TRUE(t.IsValid());
        EXPECT_EQ(t.GetTime(), c.expected);
        EXPECT_EQ(t.Format("%H:%M %Z"), CString((std::string("12:00 ") + c.pszZone).c_str()));
    }
}

TEST(Time, FormatTooLongGivesEmptyText) {
    TimeZoneScope zone("UTC");
    const std::string pattern(300, 'x');
    EXPECT_TRUE(CTime(0).Format(pattern.c_str()).IsEmpty());
}

}  // namespace
