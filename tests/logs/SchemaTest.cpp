// LgaSchema and LgeSchema on their own: which descriptor each index accepts, the version range,
// and the conversion of one row to and from ALMEVENT and LOGEVENT2: the column texts of the edge
// values, columns wider than the build's members (cut, never written past), indexes without a
// field, and fields of the wrong class.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "logs/LogTestUtil.h"

namespace {

using qvlogtest::Bytes;
using qvlogtest::Columns;
using qvlogtest::kLegacy;

// ---------------------------------------------------------------------------------------------
// Versions

const int kVersionInputs[][2] = {
    // {given, kept}
    {-1, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 0}, {5, 0}, {7, 0}, {INT_MIN, 0}, {INT_MAX, 0},
};

TEST(SchemaVersionTest, SetSchemaVerKeepsOneAndTwoOnly) {
    for (const auto& v : kVersionInputs) {
        SCOPED_TRACE(v[0]);
        LgaSchema alarm;
        alarm.SetSchemaVer(static_cast<LGA_SCHEMA_VER>(v[0]));
        EXPECT_EQ(alarm.GetSchemaVer(), v[1]);
        LgeSchema event;
        event.SetSchemaVer(static_cast<LGE_SCHEMA_VER>(v[0]));
        EXPECT_EQ(event.GetSchemaVer(), v[1]);

        // The readers range-check the same way and hand the result to their schema.
        LgaDbfFile alarmReader("/nonexistent/a.dbf", new LgaSchema(LGA_SCHEMA_VER_2));
        alarmReader.SetSchemaVer(static_cast<LGA_SCHEMA_VER>(v[0]));
        EXPECT_EQ(alarmReader.GetSchemaVer(), v[1]);
        LgeDbfFile eventReader("/nonexistent/e.dbf", new LgeSchema(LGE_SCHEMA_VER_2));
        eventReader.SetSchemaVer(static_cast<LGE_SCHEMA_VER>(v[0]));
        EXPECT_EQ(eventReader.GetSchemaVer(), v[1]);
    }
}

TEST(SchemaVersionTest, ConstructorStoresAnyValueAndDefaultsToOne) {
    EXPECT_EQ(LgaSchema().GetSchemaVer(), LGA_SCHEMA_VER_1);
    EXPECT_EQ(LgeSchema().GetSchemaVer(), LGE_SCHEMA_VER_1);
    EXPECT_EQ(LgaSchema(static_cast<LGA_SCHEMA_VER>(5)).GetSchemaVer(), 5);
    EXPECT_EQ(LgeSchema(static_cast<LGE_SCHEMA_VER>(7)).GetSchemaVer(), 7);
}

// ---------------------------------------------------------------------------------------------
// ReadFieldDesc: the class each index takes

struct DescCase {
    bool bAlarm;
    int nIndex;
    char chType;
    int nAccepted;
    int nVersionAfter;  // from a schema of version 1
    int nTextMode;      // m_bText of an accepted 'C' field; -1 when not applicable
};

std::vector<DescCase> DescCases() {
    std::vector<DescCase> cases = {
        // Alarm
        {true, 0, 'D', 1, 1, -1},
        {true, 0, 'C', 0, 1, -1},
        {true, 1, 'C', 1, 1, 1},
        {true, 2, 'N', 1, 1, -1},
        {true, 2, 'F', 0, 1, -1},
        {true, 4, 'C', 1, 1, 1},
        {true, 5, 'F', 1, 1, -1},
        {true, 5, 'N', 0, 1, -1},
        {true, 6, 'C', 1, 1, 0},
        {true, 7, 'F', 1, 1, -1},
        {true, 11, 'C', 1, 1, 0},
        {true, 12, 'C', 1, 1, 1},
        {true, 13, 'N', 1, 1, -1},
        {true, 14, 'C', 1, 1, 1},
        {true, 15, 'C', 1, 2, 1},
        {true, 16, 'C', 1, 2, 1},
        {true, 15, 'N', 0, 2, -1},  // refused, yet a version-2 column
        {true, 17, 'C', 0, 1, -1},
        {true, 1, '?', 0, 1, -1},  // unknown letter: the base refuses before anything else
        {true, 15, '?', 0, 1, -1},
        // Event
        {false, 0, 'N', 1, 1, -1},
        {false, 0, 'C', 0, 1, -1},
        {false, 1, 'N', 1, 1, -1},
        {false, 1, 'C', 0, 1, -1},
        {false, 2, 'D', 1, 1, -1},
        {false, 2, 'N', 0, 1, -1},
        {false, 3, 'C', 1, 1, 1},
        {false, 4, 'N', 1, 1, -1},
        {false, 5, 'C', 1, 1, 0},
        {false, 9, 'C', 1, 1, 1},
        {false, 10, 'C', 1, 2, 1},
        {false, 11, 'C', 1, 2, 1},
        {false, 11, 'N', 0, 2, -1},
        {false, 12, 'C', 0, 1, -1},
        {false, 3, 'X', 0, 1, -1},
    };
    // Logical columns have no place in either table, float columns none in the event table.
    for (int i = 0; i <= 16; ++i) {
        cases.push_back({true, i, 'L', 0, i >= 15 ? 2 : 1, -1});
    }
    for (int i = 0; i <= 11; ++i) {
        cases.push_back({false, i, 'L', 0, i >= 10 ? 2 : 1, -1});
        cases.push_back({false, i, 'F', 0, i >= 10 ? 2 : 1, -1});
    }
    return cases;
}

class ReadFieldDescTest : public ::testing::TestWithParam<DescCase> {};

TEST_P(ReadFieldDescTest, AcceptsOnlyTheLayoutsClassAtEachIndex) {
    const DescCase& c = GetParam();
    const ZDbfField::DbfFldDesc desc = qvlogtest::MakeDesc("Any", c.chType, 12, 0);
    int index = c.nIndex;
    std::unique_ptr<ZDbfSchema> schema;
    int version = 0;
    int accepted = 0;
    if (c.bAlarm) {
        auto* p = new LgaSchema(LGA_SCHEMA_VER_1);
        schema.reset(p);
        accepted = p->ReadFieldDesc(index, &desc);
        version = p->GetSchemaVer();
    } else {
        auto* p = new LgeSchema(LGE_SCHEMA_VER_1);
        schema.reset(p);
        accepted = p->ReadFieldDesc(index, &desc);
        version = p->GetSchemaVer();
    }
    EXPECT_EQ(accepted, c.nAccepted);
    EXPECT_EQ(version, c.nVersionAfter);
    EXPECT_EQ(index, c.nIndex) << "the index is not changed";
    if (c.nTextMode >= 0) {
        ZDbfField* pField = schema->GetField(c.nIndex);
        ASSERT_NE(pField, nullptr);
        ASSERT_TRUE(pField->IsKindOf(RUNTIME_CLASS(DbfStringField)));
        EXPECT_EQ(static_cast<DbfStringField*>(pField)->m_bText, c.nTextMode);
    }
}

INSTANTIATE_TEST_SUITE_P(Indexes, ReadFieldDescTest, ::testing::ValuesIn(DescCases()),
                         [](const ::testing::TestParamInfo<DescCase>& info) {
                             const DescCase& c = info.param;
                             const char letter = c.chType == '?' ? 'Q' : c.chType;
                             return std::string(c.bAlarm ? "Alarm" : "Event") +
                                    std::to_string(c.nIndex) + "_" + std::string(1, letter);
                         });

// A schema version 2 reading a 15-column table keeps 2 until the reader settles it; the
// descriptors of a table carry their own widths and names.
TEST(ReadFieldDescTest, TableWidthsAndNamesAreKept) {
    Columns cols = qvlogtest::AlarmColumns(!kLegacy, 1);
    cols[4].name = "Tag";
    LgaSchema schema(LGA_SCHEMA_VER_2);
    ASSERT_TRUE(qvlogtest::ReadDescs(schema, cols));
    EXPECT_EQ(schema.GetSchemaVer(), LGA_SCHEMA_VER_2);
    EXPECT_EQ(schema.GetNumOfFields(), 15);
    EXPECT_EQ(schema.GetRowBytes(), qvlogtest::RecordLength(cols));
    EXPECT_EQ(std::string(schema.GetField(4)->GetName()), "Tag");
    EXPECT_EQ(schema.GetField(4)->GetWidth(), cols[4].width);
}

// ---------------------------------------------------------------------------------------------
// Row conversions

// One row of a schema: its bytes and the offsets of its columns by the fields' widths.
struct Row {
    explicit Row(ZDbfSchema& s) : schema(s), bytes(s.GetRowBytes(), 0xEE) {}

    size_t Offset(int index) const {
        size_t offset = 1;
        for (int i = 0; i < index; ++i) {
            if (const ZDbfField* f = schema.GetField(i)) {
                offset += f->GetWidth();
            }
        }
        return offset;
    }
    std::string Column(int index) const {
        return std::string(reinterpret_cast<const char*>(bytes.data()) + Offset(index),
                           schema.GetField(index)->GetWidth());
    }
    void SetColumn(int index, const std::string& text) {
        const size_t width = schema.GetField(index)->GetWidth();
        std::string padded = text;
        padded.resize(width, ' ');
        std::memcpy(bytes.data() + Offset(index), padded.data(), width);
    }
    // The bytes the cursor moved.
    size_t Write(void* record) {
        unsigned char* cursor = bytes.data();
        schema.WriteToBuffer(cursor, record);
        return static_cast<size_t>(cursor - bytes.data());
    }
    size_t Read(void* record) {
        unsigned char* cursor = bytes.data();
        schema.ReadFromBuffer(cursor, record);
        return static_cast<size_t>(cursor - bytes.data());
    }

    ZDbfSchema& schema;
    Bytes bytes;
};

class RowTest : public ::testing::Test {
  protected:
    qvlogtest::ScopedTimeZone m_tz{qvlogtest::kTestTimeZone};
};

// Alarm column indexes.
enum {
    kADate = 0,
    kATime,
    kAMilitime,
    kATransType,
    kATagName,
    kATagValue,
    kATagType,
    kAThreshVal,
    kAThreshNum,
    kAThreshLabel,
    kASeverity,
    kADstFlag,
    kAUserId,
    kAAlarmType,
    kADescription,
    kAUserStn,
    kALoggingStn
};
// Event column indexes.
enum {
    kEType = 0,
    kEId,
    kEDate,
    kETime,
    kEMilitime,
    kEDstFlag,
    kECategory,
    kESource,
    kEUser,
    kEDescription,
    kEUserStn,
    kELoggingStn
};

struct AlarmTextCase {
    const char* pszName;
    int nColumn;
    void (*pfnSet)(ALMEVENT&);
    std::string (*pfnColumn)();                  // the column's expected text
    void (*pfnCheck)(const ALMEVENT& readBack);  // what reading the row gives
};

const AlarmTextCase kAlarmTextCases[] = {
    {"SeverityKeepsLeadingDigit", kASeverity, [](ALMEVENT& r) { r.severity = 12; },
     [] { return std::string("1"); }, [](const ALMEVENT& r) { EXPECT_EQ(+r.severity, 1); }},
    {"MilitimeRightAligned", kAMilitime, [](ALMEVENT& r) { r.militime = 65535; },
     [] { return std::string("65535"); }, [](const ALMEVENT& r) { EXPECT_EQ(+r.militime, 65535); }},
    {"MilitimeSmall", kAMilitime, [](ALMEVENT& r) { r.militime = 7; },
     [] { return std::string("    7"); }, [](const ALMEVENT& r) { EXPECT_EQ(+r.militime, 7); }},
    {"TagTypeZeroByte", kATagType, [](ALMEVENT& r) { r.tagType = 0; },
     [] { return std::string(1, '\0'); }, [](const ALMEVENT& r) { EXPECT_EQ(r.tagType, 0); }},
    {"DstFlagZeroByte", kADstFlag, [](ALMEVENT& r) { r.dstFlag = 0; },
     [] { return std::string(1, '\0'); }, [](const ALMEVENT& r) { EXPECT_EQ(r.dstFlag, 0); }},
    {"TagNameTenCharsThenBlanks", kATagName,
     [](ALMEVENT& r) { qvlogtest::SetText(r.tagName, "FIC101.PV_"); },
     [] { return "FIC101.PV_" + std::string(kLegacy ? 30 : 245, ' '); },
     [](const ALMEVENT& r) { EXPECT_STREQ(r.tagName, "FIC101.PV_"); }},
    {"DateOfLocalAfternoon", kADate,
     [](ALMEVENT& r) { r.date = qvlogtest::LocalTime(2004, 3, 9, 13, 45); },
     [] { return std::string("20040309"); },
     [](const ALMEVENT& r) { EXPECT_EQ(+r.date, qvlogtest::LocalMidnight(2004, 3, 9)); }},
    {"DateJustBeforeLocalMidnight", kADate,
     [](ALMEVENT& r) { r.date = qvlogtest::LocalTime(2023, 12, 31, 23, 59); },
     [] { return std::string("20231231"); },
     [](const ALMEVENT& r) { EXPECT_EQ(+r.date, qvlogtest::LocalMidnight(2023, 12, 31)); }},
    {"TagValueFixedPoint", kATagValue, [](ALMEVENT& r) { r.tagValue = -3.25; },
     [] { return std::string("       -3.2500000000"); },
     [](const ALMEVENT& r) { EXPECT_DOUBLE_EQ(+r.tagValue, -3.25); }},
};

class AlarmTextTest : public RowTest, public ::testing::WithParamInterface<AlarmTextCase> {};

TEST_P(AlarmTextTest, ColumnTextAndReadBack) {
    const AlarmTextCase& c = GetParam();
    for (int version : {1, 2}) {
        SCOPED_TRACE(version);
        LgaSchema schema(static_cast<LGA_SCHEMA_VER>(version));
        schema.CreateFieldDesc();
        Row row(schema);
        ALMEVENT rec = qvlogtest::MakeAlarm(0, version);
        c.pfnSet(rec);
        EXPECT_EQ(row.Write(&rec), row.bytes.size());
        EXPECT_EQ(row.bytes[0], ' ');
        EXPECT_EQ(row.Column(c.nColumn), c.pfnColumn());
        ALMEVENT back;
        std::memset(&back, 0x77, sizeof back);
        EXPECT_EQ(row.Read(&back), row.bytes.size());
        c.pfnCheck(back);
    }
}

INSTANTIATE_TEST_SUITE_P(Columns, AlarmTextTest, ::testing::ValuesIn(kAlarmTextCases),
                         [](const ::testing::TestParamInfo<AlarmTextCase>& info) {
                             return std::string(info.param.pszName);
                         });

struct EventTextCase {
    const char* pszName;
    int nColumn;
    void (*pfnSet)(LOGEVENT2&);
    std::string (*pfnColumn)();
    void (*pfnCheck)(const LOGEVENT2& readBack);
};

const EventTextCase kEventTextCases[] = {
    {"IdNegative", kEId, [](LOGEVENT2& r) { r.id = -5; }, [] { return std::string("        -5"); },
     [](const LOGEVENT2& r) { EXPECT_EQ(+r.id, -5); }},
    {"IdMostNegativeIsCut", kEId, [](LOGEVENT2& r) { r.id = INT32_MIN; },
     [] { return std::string("-214748364"); },
     [](const LOGEVENT2& r) { EXPECT_EQ(+r.id, -214748364); }},
    {"IdLargest", kEId, [](LOGEVENT2& r) { r.id = INT32_MAX; },
     [] { return std::string("2147483647"); },
     [](const LOGEVENT2& r) { EXPECT_EQ(+r.id, INT32_MAX); }},
    {"TypeKeepsLeadingDigit", kEType, [](LOGEVENT2& r) { r.type = 10; },
     [] { return std::string("1"); }, [](const LOGEVENT2& r) { EXPECT_EQ(+r.type, 1); }},
    {"DstFlagZeroByte", kEDstFlag, [](LOGEVENT2& r) { r.dstFlag = 0; },
     [] { return std::string(1, '\0'); }, [](const LOGEVENT2& r) { EXPECT_EQ(r.dstFlag, 0); }},
    {"DstFlagHighByte", kEDstFlag, [](LOGEVENT2& r) { r.dstFlag = static_cast<char>(0xFF); },
     [] { return std::string(1, '\xFF'); },
     [](const LOGEVENT2& r) { EXPECT_EQ(r.dstFlag, static_cast<char>(0xFF)); }},
    {"DateOfLocalAfternoon", kEDate,
     [](LOGEVENT2& r) { r.date = qvlogtest::LocalTime(2004, 3, 9, 13, 45); },
     [] { return std::string("20040309"); },
     [](const LOGEVENT2& r) { EXPECT_EQ(+r.date, qvlogtest::LocalMidnight(2004, 3, 9)); }},
    {"SourceFillsColumn", kESource,
     [](LOGEVENT2& r) {
         qvlogtest::SetText(r.source, qvlogtest::Pattern("src", kLegacy ? 20 : 31));
     },
     [] { return qvlogtest::Pattern("src", kLegacy ? 20 : 31); },
     [](const LOGEVENT2& r) {
         EXPECT_EQ(std::string(r.source), qvlogtest::Pattern("src", kLegacy ? 20 : 31));
     }},
};

class EventTextTest : public RowTest, public ::testing::WithParamInterface<EventTextCase> {};

TEST_P(EventTextTest, ColumnTextAndReadBack) {
    const EventTextCase& c = GetParam();
    for (int version : {1, 2}) {
        SCOPED_TRACE(version);
        LgeSchema schema(static_cast<LGE_SCHEMA_VER>(version));
        schema.CreateFieldDesc();
        Row row(schema);
        LOGEVENT2 rec = qvlogtest::MakeEvent(0, version);
        c.pfnSet(rec);
        EXPECT_EQ(row.Write(&rec), row.bytes.size());
        EXPECT_EQ(row.bytes[0], ' ');
        EXPECT_EQ(row.Column(c.nColumn), c.pfnColumn());
        LOGEVENT2 back;
        std::memset(&back, 0x77, sizeof back);
        EXPECT_EQ(row.Read(&back), row.bytes.size());
        c.pfnCheck(back);
    }
}

INSTANTIATE_TEST_SUITE_P(Columns, EventTextTest, ::testing::ValuesIn(kEventTextCases),
                         [](const ::testing::TestParamInfo<EventTextCase>& info) {
                             return std::string(info.param.pszName);
                         });

// Row texts that no record can produce: what reading them gives.
TEST_F(RowTest, ReadingKeepsLowSixteenBitsAndIgnoresDeletionFlag) {
    LgaSchema alarm(LGA_SCHEMA_VER_1);
    alarm.CreateFieldDesc();
    Row alarmRow(alarm);
    ALMEVENT a = qvlogtest::MakeAlarm(1, 1);
    alarmRow.Write(&a);
    alarmRow.SetColumn(kAMilitime, "70000");
    alarmRow.bytes[0] = '*';
    ALMEVENT aBack = {};
    alarmRow.Read(&aBack);
    EXPECT_EQ(+aBack.militime, 4464);
    EXPECT_STREQ(aBack.tagName, a.tagName) << "a row marked deleted converts like any other";

    LgeSchema event(LGE_SCHEMA_VER_1);
    event.CreateFieldDesc();
    Row eventRow(event);
    LOGEVENT2 e = qvlogtest::MakeEvent(1, 1);
    eventRow.Write(&e);
    eventRow.SetColumn(kEMilitime, "70000");
    eventRow.SetColumn(kEType, "9");
    eventRow.bytes[0] = '*';
    LOGEVENT2 eBack = {};
    eventRow.Read(&eBack);
    EXPECT_EQ(+eBack.militime, 4464);
    EXPECT_EQ(+eBack.type, 9);
    EXPECT_STREQ(eBack.description, e.description);
}

TEST_F(RowTest, VersionOneRowLeavesStationMembersAlone) {
    LgaSchema alarm(LGA_SCHEMA_VER_1);
    alarm.CreateFieldDesc();
    Row alarmRow(alarm);
    ALMEVENT a = qvlogtest::MakeAlarm(2, 1);
    alarmRow.Write(&a);
    ALMEVENT aBack;
    std::memset(&aBack, 0, sizeof aBack);
    qvlogtest::SetText(aBack.userStn, "KEEP-USER");
    qvlogtest::SetText(aBack.loggingStn, "KEEP-LOG");
    alarmRow.Read(&aBack);
    EXPECT_STREQ(aBack.userStn, "KEEP-USER");
    EXPECT_STREQ(aBack.loggingStn, "KEEP-LOG");
    EXPECT_STREQ(aBack.userId, a.userId);

    LgeSchema event(LGE_SCHEMA_VER_1);
    event.CreateFieldDesc();
    Row eventRow(event);
    LOGEVENT2 e = qvlogtest::MakeEvent(2, 1);
    eventRow.Write(&e);
    LOGEVENT2 eBack;
    std::memset(&eBack, 0, sizeof eBack);
    qvlogtest::SetText(eBack.userStn, "KEEP-USER");
    qvlogtest::SetText(eBack.loggingStn, "KEEP-LOG");
    eventRow.Read(&eBack);
    EXPECT_STREQ(eBack.userStn, "KEEP-USER");
    EXPECT_STREQ(eBack.loggingStn, "KEEP-LOG");
    EXPECT_STREQ(eBack.user, e.user);
}

// The description member of the current event record spans 600 bytes; a row fills at most 256.
TEST_F(RowTest, LongEventDescriptionIsCutToItsColumn) {
    LgeSchema schema(LGE_SCHEMA_VER_2);
    schema.CreateFieldDesc();
    Row row(schema);
    LOGEVENT2 rec = qvlogtest::MakeEvent(0, 2);
    const size_t member = sizeof rec.description;
    const size_t width = kLegacy ? 132 : 255;
    // Current layout: 400 characters. Legacy: the whole member, without a terminator.
    const std::string text = qvlogtest::Pattern("0123456789abcdefghij", kLegacy ? member : 400);
    std::memset(rec.description, 0, member);
    std::memcpy(rec.description, text.data(), text.size());
    row.Write(&rec);
    EXPECT_EQ(row.Column(kEDescription), text.substr(0, width));
    EXPECT_EQ(row.Column(kEUserStn),
              std::string(rec.userStn) + std::string(15 - std::strlen(rec.userStn), ' '));

    LOGEVENT2 back;
    std::memset(&back, 0x5A, sizeof back);
    row.Read(&back);
    EXPECT_EQ(std::string(back.description), text.substr(0, width));
    for (size_t i = width + 1; i < member; ++i) {
        ASSERT_EQ(static_cast<unsigned char>(back.description[i]), 0x5A) << "byte " << i;
    }
    EXPECT_STREQ(back.userStn, rec.userStn);
}

// ---------------------------------------------------------------------------------------------
// Columns wider than the members: the row of a table from another build or another program.

// A record surrounded by guard bytes; the record's own bytes start as kFill too.
template <typename Record>
class Guarded {
  public:
    static constexpr size_t kGuard = 64;
    static constexpr unsigned char kFill = 0x5A;

    Guarded() : m_bytes(sizeof(Record) + 2 * kGuard, kFill) {}
    Record* Get() { return reinterpret_cast<Record*>(m_bytes.data() + kGuard); }
    unsigned char* Member(size_t offset) { return m_bytes.data() + kGuard + offset; }
    bool GuardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i) {
            if (m_bytes[i] != kFill || m_bytes[m_bytes.size() - 1 - i] != kFill) {
                return false;
            }
        }
        return true;
    }

  private:
    Bytes m_bytes;
};

struct MemberSpec {
    int nColumn;
    size_t nOffset;
    size_t nSize;
    bool bRaw;
};

#define QV_ALARM_MEMBER(col, m, raw) \
    { col, offsetof(ALMEVENT, m), sizeof(ALMEVENT::m), raw }
const MemberSpec kAlarmCharMembers[] = {
    QV_ALARM_MEMBER(kATime, time, false),
    QV_ALARM_MEMBER(kATransType, transType, false),
    QV_ALARM_MEMBER(kATagName, tagName, false),
    QV_ALARM_MEMBER(kATagType, tagType, true),
    QV_ALARM_MEMBER(kAThreshLabel, threshLabel, false),
    QV_ALARM_MEMBER(kADstFlag, dstFlag, true),
    QV_ALARM_MEMBER(kAUserId, userId, false),
    QV_ALARM_MEMBER(kADescription, description, false),
    QV_ALARM_MEMBER(kAUserStn, userStn, false),
    QV_ALARM_MEMBER(kALoggingStn, loggingStn, false),
};
#undef QV_ALARM_MEMBER

#define QV_EVENT_MEMBER(col, m, raw) \
    { col, offsetof(LOGEVENT2, m), sizeof(LOGEVENT2::m), raw }
const MemberSpec kEventCharMembers[] = {
    QV_EVENT_MEMBER(kETime, time, false),
    QV_EVENT_MEMBER(kEDstFlag, dstFlag, true),
    QV_EVENT_MEMBER(kECategory, category, false),
    QV_EVENT_MEMBER(kESource, source, false),
    QV_EVENT_MEMBER(kEUser, user, false),
    QV_EVENT_MEMBER(kEDescription, description, false),
    QV_EVENT_MEMBER(kEUserStn, userStn, false),
    QV_EVENT_MEMBER(kELoggingStn, loggingStn, false),
};
#undef QV_EVENT_MEMBER

// Every 'C' column 255 wide, the rest as the layout has them.
Columns Widened(Columns cols) {
    for (auto& col : cols) {
        if (col.type == 'C') {
            col.width = 255;
        }
    }
    return cols;
}

// The text of column i in the wide row: its own letter, never blank, never NUL.
std::string WideText(int column) {
    return qvlogtest::Pattern(std::string(1, static_cast<char>('a' + column)) + "#", 255);
}

template <typename Schema, typename Record, typename Version, size_t N>
void ExpectWideRowIsCutToMembers(const Columns& layout, const MemberSpec (&members)[N]) {
    Schema schema(static_cast<Version>(2));
    ASSERT_TRUE(qvlogtest::ReadDescs(schema, Widened(layout)));
    Row row(schema);
    for (const MemberSpec& m : members) {
        row.SetColumn(m.nColumn, WideText(m.nColumn));
    }
    row.bytes[0] = ' ';

    Guarded<Record> rec;
    EXPECT_EQ(row.Read(rec.Get()), row.bytes.size());
    EXPECT_TRUE(rec.GuardsIntact());
    for (const MemberSpec& m : members) {
        SCOPED_TRACE(m.nColumn);
        const unsigned char* p = rec.Member(m.nOffset);
        const std::string text = WideText(m.nColumn);
        if (m.bRaw) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), m.nSize),
                      text.substr(0, m.nSize));
            continue;
        }
        const size_t n = std::min<size_t>(255, m.nSize - 1);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(p)), text.substr(0, n));
        for (size_t i = n + 1; i < m.nSize; ++i) {
            ASSERT_EQ(p[i], Guarded<Record>::kFill) << "member byte " << i << " written";
        }
    }

    // Writing: members filled to their last byte without a terminator give at most their size
    // of text; the rest of each wide column is blank. The record is a heap object of its exact
    // size, so a read past its end does not go unnoticed under AddressSanitizer.
    auto src = std::make_unique<Record>();
    std::memset(src.get(), 0, sizeof(Record));
    unsigned char* base = reinterpret_cast<unsigned char*>(src.get());
    for (const MemberSpec& m : members) {
        std::memset(base + m.nOffset, 'A' + m.nColumn, m.nSize);
    }
    EXPECT_EQ(row.Write(src.get()), row.bytes.size());
    for (const MemberSpec& m : members) {
        SCOPED_TRACE(m.nColumn);
        const size_t n = std::min<size_t>(255, m.nSize);
        EXPECT_EQ(row.Column(m.nColumn),
                  std::string(n, static_cast<char>('A' + m.nColumn)) + std::string(255 - n, ' '));
    }
}

TEST(WideColumnTest, AlarmRowIsCutToTheMembers) {
    ExpectWideRowIsCutToMembers<LgaSchema, ALMEVENT, LGA_SCHEMA_VER>(
        qvlogtest::AlarmColumns(kLegacy, 2), kAlarmCharMembers);
}

TEST(WideColumnTest, EventRowIsCutToTheMembers) {
    ExpectWideRowIsCutToMembers<LgeSchema, LOGEVENT2, LGE_SCHEMA_VER>(
        qvlogtest::EventColumns(kLegacy, 2), kEventCharMembers);
}

// ---------------------------------------------------------------------------------------------
// Schemas whose fields disagree with the version

// Version 2 set by hand on a 15-column table: the two missing indexes are skipped and the cursor
// stays inside the row, which here is a heap block of exactly the row's size.
TEST_F(RowTest, MissingFieldsAreSkipped) {
    {
        LgaSchema schema(LGA_SCHEMA_VER_1);
        ASSERT_TRUE(qvlogtest::ReadDescs(schema, qvlogtest::AlarmColumns(kLegacy, 1)));
        schema.SetSchemaVer(LGA_SCHEMA_VER_2);
        Row row(schema);
        ALMEVENT rec = qvlogtest::MakeAlarm(1, 2);
        EXPECT_EQ(row.Write(&rec), row.bytes.size());
        ALMEVENT back;
        std::memset(&back, 0, sizeof back);
        qvlogtest::SetText(back.userStn, "KEEP");
        EXPECT_EQ(row.Read(&back), row.bytes.size());
        EXPECT_STREQ(back.userStn, "KEEP");
        EXPECT_STREQ(back.description, rec.description);
    }
    {
        LgeSchema schema(LGE_SCHEMA_VER_1);
        ASSERT_TRUE(qvlogtest::ReadDescs(schema, qvlogtest::EventColumns(kLegacy, 1)));
        schema.SetSchemaVer(LGE_SCHEMA_VER_2);
        Row row(schema);
        LOGEVENT2 rec = qvlogtest::MakeEvent(1, 2);
        EXPECT_EQ(row.Write(&rec), row.bytes.size());
        LOGEVENT2 back;
        std::memset(&back, 0, sizeof back);
        qvlogtest::SetText(back.loggingStn, "KEEP");
        EXPECT_EQ(row.Read(&back), row.bytes.size());
        EXPECT_STREQ(back.loggingStn, "KEEP");
        EXPECT_STREQ(back.description, rec.description);
    }
    {
        // A schema with no fields at all converts nothing but the deletion flag.
        LgaSchema schema(LGA_SCHEMA_VER_2);
        unsigned char flag[1] = {'*'};
        unsigned char* cursor = flag;
        ALMEVENT rec = qvlogtest::MakeAlarm(0, 2);
        schema.WriteToBuffer(cursor, &rec);
        EXPECT_EQ(cursor, flag + 1);
        EXPECT_EQ(flag[0], ' ');
        cursor = flag;
        schema.ReadFromBuffer(cursor, &rec);
        EXPECT_EQ(cursor, flag + 1);
    }
}

// Descriptors that ReadFieldDesc refused stay in the schema; converting with them goes through a
// scratch value: the column is stepped over, the member is left alone.
TEST_F(RowTest, FieldOfWrongClassConvertsThroughScratch) {
    Columns cols = qvlogtest::AlarmColumns(kLegacy, 2);
    cols[kADate] = {"Date", 'C', 8, 0};
    cols[kAMilitime] = {"Militime", 'C', 255, 0};  // as wide as a text column gets
    cols[kATagValue] = {"TagValue", 'N', 20, 0};
    cols[kAAlarmType] = {"AlarmType", 'L', 1, 0};
    cols[kATagType] = {"TagType", 'D', 8, 0};
    LgaSchema schema(LGA_SCHEMA_VER_2);
    for (int i = 0; i < static_cast<int>(cols.size()); ++i) {
        const auto& col = cols[static_cast<size_t>(i)];
        const ZDbfField::DbfFldDesc desc =
            qvlogtest::MakeDesc(col.name.c_str(), col.type, static_cast<BYTE>(col.width),
                                static_cast<BYTE>(col.decimals));
        schema.ReadFieldDesc(i, &desc);  // refusals are expected here
    }
    ASSERT_EQ(schema.GetNumOfFields(), 17);
    Row row(schema);
    ALMEVENT rec = qvlogtest::MakeAlarm(3, 2);
    EXPECT_EQ(row.Write(&rec), row.bytes.size());
    EXPECT_EQ(row.Column(kADate), std::string(8, ' '));
    EXPECT_EQ(row.Column(kAMilitime), std::string(255, ' '));
    EXPECT_EQ(row.Column(kATagValue), std::string(19, ' ') + "0");
    EXPECT_EQ(row.Column(kAAlarmType), "F");
    EXPECT_EQ(row.Column(kATagName),
              rec.tagName + std::string(cols[kATagName].width - std::strlen(rec.tagName), ' '));

    row.SetColumn(kADate, "20240101");
    row.SetColumn(kAMilitime, qvlogtest::Pattern("9", 255));
    row.SetColumn(kATagValue, "12345");
    row.SetColumn(kAAlarmType, "T");
    row.SetColumn(kATagType, "20240101");
    ALMEVENT back;
    std::memset(&back, 0x33, sizeof back);
    const ALMEVENT before = back;
    EXPECT_EQ(row.Read(&back), row.bytes.size());
    EXPECT_EQ(+back.date, +before.date);
    EXPECT_EQ(+back.militime, +before.militime);
    EXPECT_EQ(std::memcmp(&back.tagValue, &before.tagValue, sizeof back.tagValue), 0);
    EXPECT_EQ(+back.alarmType, +before.alarmType);
    EXPECT_EQ(back.tagType, before.tagType);
    EXPECT_STREQ(back.tagName, rec.tagName);
    EXPECT_STREQ(back.description, rec.description);
    EXPECT_STREQ(back.loggingStn, rec.loggingStn);
}

}  // namespace
