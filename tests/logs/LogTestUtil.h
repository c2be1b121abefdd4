// Helpers of the log suites: per-test directories and whole-file reads and writes, the column
// layouts of the alarm and event tables as the tests expect them, a table writer that lays out
// header, descriptors and rows byte by byte without the library, sample records, record
// comparisons, and guards for the process-wide state the tests touch (time zone, debug sink,
// allocation hook).
#ifndef QUORVEL_TESTS_LOGS_LOGTESTUTIL_H
#define QUORVEL_TESTS_LOGS_LOGTESTUTIL_H

#include <Quorvel32.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "dbf/DbfTestUtil.h"

namespace qvlogtest {

using qvtest::Bytes;

#if defined(QUORVEL32_LEGACY_LAYOUT) && QUORVEL32_LEGACY_LAYOUT
constexpr bool kLegacy = true;
#else
constexpr bool kLegacy = false;
#endif

// ---------------------------------------------------------------------------------------------
// Files

using qvtest::ReadFileBytes;
using qvtest::TempDir;
using qvtest::WriteFileBytes;

// ---------------------------------------------------------------------------------------------
// Column layouts

struct ColumnSpec {
    std::string name;
    char type;
    int width;
    int decimals;
};

using Columns = std::vector<ColumnSpec>;

// The alarm table of a layout (legacy or current) and version (2, or anything else for 1).
inline Columns AlarmColumns(bool legacy, int version) {
    Columns cols = {
        {"Date", 'D', 8, 0},
        {"Time", 'C', 8, 0},
        {"Militime", 'N', 5, 0},
        {"TransType", 'C', 5, 0},
        {"TagName", 'C', legacy ? 40 : 255, 0},
        {"TagValue", 'F', 20, 10},
        {"TagType", 'C', 1, 0},
        {"ThreshVal", 'F', 20, 10},
        {"ThreshNum", 'N', 1, 0},
        {"ThreshLabl", 'C', 20, 0},
        {"Severity", 'N', 1, 0},
        {"DstFlag", 'C', 1, 0},
        {"UserId", 'C', version == 2 ? 20 : 8, 0},
        {"AlarmType", 'N', 1, 0},
        {"Dscription", 'C', legacy ? 132 : 254, 0},
    };
    if (version == 2) {
        cols.push_back({"UserStn", 'C', 15, 0});
        cols.push_back({"LoggingStn", 'C', 15, 0});
    }
    return cols;
}

// The event table of a layout and version.
inline Columns EventColumns(bool legacy, int version) {
    Columns cols = {
        {"Type", 'N', 1, 0},
        {"Id", 'N', 10, 0},
        {"Date", 'D', 8, 0},
        {"Time", 'C', 8, 0},
        {"Militime", 'N', 5, 0},
        {"DstFlag", 'C', 1, 0},
        {"Category", 'C', 20, 0},
        {"Source", 'C', legacy ? 20 : 31, 0},
        {"User", 'C', version == 2 ? 20 : 8, 0},
        {"Dscrptn", 'C', legacy ? 132 : 255, 0},
    };
    if (version == 2) {
        cols.push_back({"UserStn", 'C', 15, 0});
        cols.push_back({"LoggingStn", 'C', 15, 0});
    }
    return cols;
}

// Row offset of column index (the deletion flag is byte 0).
inline size_t ColumnOffset(const Columns& cols, size_t index) {
    size_t offset = 1;
    for (size_t i = 0; i < index; ++i) {
        offset += static_cast<size_t>(cols[i].width);
    }
    return offset;
}

inline size_t RecordLength(const Columns& cols) {
    return ColumnOffset(cols, cols.size());
}

// ---------------------------------------------------------------------------------------------
// A table writer independent of the library

struct RowSpec {
    std::vector<std::string> values;  // one per column, left-aligned and blank-padded
    char flag = ' ';                  // deletion flag
};

// The bytes of a dBASE III table: header (version 3, date 2004-03-09), descriptors, 0x0D, rows,
// 0x1A. A value longer than its column is cut to the width.
inline Bytes BuildTable(const Columns& cols, const std::vector<RowSpec>& rows) {
    const size_t headerLength = 32 * cols.size() + 33;
    const size_t recordLength = RecordLength(cols);
    Bytes bytes(headerLength, 0);
    bytes[0] = 3;
    bytes[1] = 104;
    bytes[2] = 3;
    bytes[3] = 9;
    const uint32_t n = static_cast<uint32_t>(rows.size());
    for (int i = 0; i < 4; ++i) {
        bytes[4 + i] = static_cast<unsigned char>(n >> (8 * i));
    }
    bytes[8] = static_cast<unsigned char>(headerLength & 0xFF);
    bytes[9] = static_cast<unsigned char>(headerLength >> 8);
    bytes[10] = static_cast<unsigned char>(recordLength & 0xFF);
    bytes[11] = static_cast<unsigned char>(recordLength >> 8);
    for (size_t i = 0; i < cols.size(); ++i) {
        unsigned char* desc = bytes.data() + 32 + 32 * i;
        std::memcpy(desc, cols[i].name.data(), std::min<size_t>(cols[i].name.size(), 10));
        desc[11] = static_cast<unsigned char>(cols[i].type);
        const uint32_t offset = static_cast<uint32_t>(ColumnOffset(cols, i));
        for (int b = 0; b < 4; ++b) {
            desc[12 + b] = static_cast<unsigned char>(offset >> (8 * b));
        }
        desc[16] = static_cast<unsigned char>(cols[i].width);
        desc[17] = static_cast<unsigned char>(cols[i].decimals);
    }
    bytes[headerLength - 1] = 0x0D;
    for (const RowSpec& row : rows) {
        Bytes rec(recordLength, ' ');
        rec[0] = static_cast<unsigned char>(row.flag);
        for (size_t i = 0; i < cols.size() && i < row.values.size(); ++i) {
            const std::string& v = row.values[i];
            std::memcpy(rec.data() + ColumnOffset(cols, i), v.data(),
                        std::min<size_t>(v.size(), static_cast<size_t>(cols[i].width)));
        }
        bytes.insert(bytes.end(), rec.begin(), rec.end());
    }
    bytes.push_back(0x1A);
    return bytes;
}

inline bool WriteTable(const std::string& path, const Columns& cols,
                       const std::vector<RowSpec>& rows = {}) {
    return WriteFileBytes(path, BuildTable(cols, rows));
}

// s repeated or cut to exactly n characters.
inline std::string Pattern(const std::string& s, size_t n) {
    std::string out;
    while (out.size() < n) {
        out += s;
    }
    out.resize(n);
    return out;
}

using qvtest::MakeDesc;

// Fills schema through ReadFieldDesc from cols, as OpenTable would; false at the first refusal.
inline bool ReadDescs(ZDbfSchema& schema, const Columns& cols) {
    for (int i = 0; i < static_cast<int>(cols.size()); ++i) {
        const ZDbfField::DbfFldDesc desc =
            MakeDesc(cols[static_cast<size_t>(i)].name.c_str(), cols[static_cast<size_t>(i)].type,
                     static_cast<BYTE>(cols[static_cast<size_t>(i)].width),
                     static_cast<BYTE>(cols[static_cast<size_t>(i)].decimals));
        if (schema.ReadFieldDesc(i, &desc) != 1) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Times

// time_t of local midnight of a calendar date (daylight saving decided by the platform).
inline TIME32 LocalMidnight(int year, int month, int day) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_isdst = -1;
    return static_cast<TIME32>(mktime(&t));
}

inline TIME32 LocalTime(int year, int month, int day, int hour, int minute) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return static_cast<TIME32>(mktime(&t));
}

// Local midnight of the day that holds value.
inline TIME32 MidnightOf(TIME32 value) {
    const time_t t = value;
    struct tm local = {};
    localtime_r(&t, &local);
    return LocalMidnight(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

// "YYYY-MM-DD" of the local date of value.
inline std::string IsoDate(TIME32 value) {
    const time_t t = value;
    struct tm local = {};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// Sets TZ for the guard's lifetime (tzset on the way in and out).
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* pszTz) {
        if (const char* old = getenv("TZ")) {
            m_old = std::string(old);
        }
        setenv("TZ", pszTz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (m_old) {
            setenv("TZ", m_old->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::optional<std::string> m_old;
};

// Central European time with its daylight-saving rule: dates differ from UTC around midnight.
constexpr const char* kTestTimeZone = "CET-1CEST,M3.5.0,M10.5.0/3";

// ---------------------------------------------------------------------------------------------
// Process-wide hooks

// Collects the library's debug lines for the guard's lifetime.
class DebugCapture {
  public:
    DebugCapture() { m_pfnOld = QuorvelSetDebugSink(&DebugCapture::Sink, this); }
    ~DebugCapture() { QuorvelSetDebugSink(m_pfnOld, nullptr); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    const std::vector<std::string>& Lines() const { return m_lines; }

  private:
    static void Sink(LPCSTR lpText, void* pContext) {
        static_cast<DebugCapture*>(pContext)->m_lines.emplace_back(lpText);
    }
    QUORVEL_DEBUG_SINK m_pfnOld = nullptr;
    std::vector<std::string> m_lines;
};

// Installs an allocation hook for the guard's lifetime.
class ScopedAllocHook {
  public:
    explicit ScopedAllocHook(AFX_ALLOC_HOOK pfnHook) { m_pfnOld = AfxSetAllocHook(pfnHook); }
    ~ScopedAllocHook() { AfxSetAllocHook(m_pfnOld); }
    ScopedAllocHook(const ScopedAllocHook&) = delete;
    ScopedAllocHook& operator=(const ScopedAllocHook&) = delete;

  private:
    AFX_ALLOC_HOOK m_pfnOld = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Records

template <size_t N>
void SetText(char (&member)[N], const std::string& text) {
    std::memset(member, 0, N);
    std::memcpy(member, text.data(), std::min(text.size(), N - 1));
}

// A realistic alarm transition, varied by i. Text fits the version's columns.
inline ALMEVENT MakeAlarm(int i, int version) {
    ALMEVENT rec;
    std::memset(&rec, 0, sizeof rec);
    rec.date = LocalTime(2023, 11, 3 + i, 13 + i, 45);
    SetText(rec.time, i % 2 == 0 ? "13:45:07" : "01:02:59");
    rec.militime = static_cast<WORD>(345 + 101 * i);
    SetText(rec.transType, i % 2 == 0 ? "ALM" : "RTN");
    SetText(rec.tagName, "Plant1.Boiler" + std::to_string(i) + ".Drum.Level");
    rec.tagValue = 87.25 + i;
    rec.tagType = static_cast<char>('A' + i);
    rec.threshVal = -90.5 * (i + 1);
    rec.threshNum = static_cast<WORD>(1 + i % 9);
    SetText(rec.threshLabel, i % 2 == 0 ? "HIHI" : "LO");
    rec.severity = static_cast<WORD>((3 + i) % 10);
    rec.dstFlag = i % 2 == 0 ? '1' : '0';
    SetText(rec.userId, version == 2 ? "operator.shift.b" : "oper" + std::to_string(i));
    rec.alarmType = static_cast<WORD>(4 + i % 5);
    SetText(rec.description, "Drum level above high limit, pump " + std::to_string(i) + " on");
    if (version == 2) {
        SetText(rec.userStn, "STN-0" + std::to_string(i));
        SetText(rec.loggingStn, "LOGSRV-1");
    }
    return rec;
}

// A realistic system or operator event, varied by i.
inline LOGEVENT2 MakeEvent(int i, int version) {
    LOGEVENT2 rec;
    std::memset(&rec, 0, sizeof rec);
    rec.type = static_cast<WORD>(2 + i % 7);
    rec.id = i % 2 == 0 ? 1000 + i : -(70000 + i);
    rec.date = LocalTime(2024, 2, 27 + i, 23, 30);
    SetText(rec.time, "23:30:1" + std::to_string(i % 10));
    rec.militime = static_cast<WORD>(999 - i);
    rec.dstFlag = i % 2 == 0 ? '0' : '1';
    SetText(rec.category, "Security");
    SetText(rec.source, "HMI.Node" + std::to_string(i));
    SetText(rec.user, version == 2 ? "maintenance.crew.7" : "eng" + std::to_string(i));
    SetText(rec.description, "Operator logged on at console " + std::to_string(i));
    if (version == 2) {
        SetText(rec.userStn, "OPS-" + std::to_string(i));
        SetText(rec.loggingStn, "EVTSRV-2");
    }
    return rec;
}

// Member by member. Dates compare as local midnight of the written date; members of columns the
// version lacks are not compared. Multi-byte members of the packed records sit at odd offsets:
// they are compared as values (unary +), never bound to a reference.
inline void ExpectAlarmRead(const ALMEVENT& written, const ALMEVENT& read, int version) {
    EXPECT_EQ(+read.date, MidnightOf(written.date));
    EXPECT_STREQ(read.time, written.time);
    EXPECT_EQ(+read.militime, +written.militime);
    EXPECT_STREQ(read.transType, written.transType);
    EXPECT_STREQ(read.tagName, written.tagName);
    EXPECT_DOUBLE_EQ(+read.tagValue, +written.tagValue);
    EXPECT_EQ(read.tagType, written.tagType);
    EXPECT_DOUBLE_EQ(+read.threshVal, +written.threshVal);
    EXPECT_EQ(+read.threshNum, +written.threshNum);
    EXPECT_STREQ(read.threshLabel, written.threshLabel);
    EXPECT_EQ(+read.severity, +written.severity);
    EXPECT_EQ(read.dstFlag, written.dstFlag);
    EXPECT_STREQ(read.userId, written.userId);
    EXPECT_EQ(+read.alarmType, +written.alarmType);
    EXPECT_STREQ(read.description, written.description);
    if (version == 2) {
        EXPECT_STREQ(read.userStn, written.userStn);
        EXPECT_STREQ(read.loggingStn, written.loggingStn);
    }
}

inline void ExpectEventRead(const LOGEVENT2& written, const LOGEVENT2& read, int version) {
    EXPECT_EQ(+read.type, +written.type);
    EXPECT_EQ(+read.id, +written.id);
    EXPECT_EQ(+read.date, MidnightOf(written.date));
    EXPECT_STREQ(read.time, written.time);
    EXPECT_EQ(+read.militime, +written.militime);
    EXPECT_EQ(read.dstFlag, written.dstFlag);
    EXPECT_STREQ(read.category, written.category);
    EXPECT_STREQ(read.source, written.source);
    EXPECT_STREQ(read.user, written.user);
    EXPECT_STREQ(read.description, written.description);
    if (version == 2) {
        EXPECT_STREQ(read.userStn, written.userStn);
        EXPECT_STREQ(read.loggingStn, written.loggingStn);
    }
}

// ---------------------------------------------------------------------------------------------
// Tables through the engine

// Creates a log table through ZDbfFile with the schema of version ver and appends recs, flushing
// whenever the two-row write buffer is full.
template <typename Schema, typename Version, typename Record>
void CreateLogTable(const std::string& path, Version ver, const std::vector<Record>& recs) {
    ZDbfFile file(path.c_str(), new Schema(ver));
    ASSERT_TRUE(file.CreateTable(1, 2, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr));
    for (const Record& rec : recs) {
        Record copy = rec;
        if (!file.AppendRecord(&copy)) {
            ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
            ASSERT_TRUE(file.AppendRecord(&copy));
        }
    }
    if (!recs.empty()) {
        ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    }
}

}  // namespace qvlogtest

#endif  // QUORVEL_TESTS_LOGS_LOGTESTUTIL_H
