// LgaSchemaVersion and LgeSchemaVersion, and the field counts behind them: which tables give
// which version through the probes and through a reader's CheckSchemaVer, what every failure
// gives, that a probe leaves the table as it was, and that running out of memory at any
// allocation inside a probe gives 0 or the right answer, never a crash or a leak.
#include <Quorvel32.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "logs/LogTestUtil.h"

namespace {

using qvlogtest::Columns;
using qvlogtest::kLegacy;

// ---------------------------------------------------------------------------------------------
// Field counts

struct CountCase {
    bool bAlarm;
    int nColumns;
    int nVersion;  // expected
};

const CountCase kCountCases[] = {
    {true, 14, 0}, {true, 15, 1},  {true, 16, 0},  {true, 17, 2},  {true, 18, 0},
    {false, 9, 0}, {false, 10, 1}, {false, 11, 0}, {false, 12, 2}, {false, 13, 0},
};

// The first n columns of the version-2 layout; one column more is a text column.
Columns FirstColumns(bool bAlarm, int n) {
    Columns all =
        bAlarm ? qvlogtest::AlarmColumns(kLegacy, 2) : qvlogtest::EventColumns(kLegacy, 2);
    all.push_back({"Extra", 'C', 5, 0});
    all.resize(static_cast<size_t>(n));
    return all;
}

class FieldCountTest : public ::testing::TestWithParam<CountCase> {
  protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()) << "mkdtemp failed"; }
    qvlogtest::TempDir m_dir{"qvprobe"};
};

TEST_P(FieldCountTest, VersionFollowsTheFieldCount) {
    const CountCase& c = GetParam();
    const std::string path = m_dir.PathOf("t.dbf");
    const Columns cols = FirstColumns(c.bAlarm, c.nColumns);
    ASSERT_TRUE(qvlogtest::WriteTable(path, cols, {qvlogtest::RowSpec{}}));
    // A refused table (a column past the layout) keeps the count at 0.
    const bool accepted = c.nColumns <= (c.bAlarm ? 17 : 12);
    for (int start : {1, 2}) {
        SCOPED_TRACE(start);
        int counted = 0;
        int version = 0;
        if (c.bAlarm) {
            LgaDbfFile reader(path.c_str(), new LgaSchema(static_cast<LGA_SCHEMA_VER>(start)));
            counted = reader.SetNumOfFields();
            reader.CheckSchemaVer();
            version = reader.GetSchemaVer();
        } else {
            LgeDbfFile reader(path.c_str(), new LgeSchema(static_cast<LGE_SCHEMA_VER>(start)));
            counted = reader.SetNumOfFields();
            reader.CheckSchemaVer();
            version = reader.GetSchemaVer();
        }
        EXPECT_EQ(counted, accepted ? c.nColumns : 0);
        EXPECT_EQ(version, c.nVersion);
    }
    const int probed = c.bAlarm ? static_cast<int>(LgaSchemaVersion(path.c_str()))
                                : static_cast<int>(LgeSchemaVersion(path.c_str()));
    EXPECT_EQ(probed, c.nVersion);
}

INSTANTIATE_TEST_SUITE_P(Counts, FieldCountTest, ::testing::ValuesIn(kCountCases),
                         [](const ::testing::TestParamInfo<CountCase>& info) {
                             return std::string(info.param.bAlarm ? "Alarm" : "Event") +
                                    std::to_string(info.param.nColumns);
                         });

// A version-1 schema that read a 16-column table holds version 2 until the reader settles it.
TEST(FieldCountTest, DescriptorsOfVersionTwoColumnsRaiseTheSchemaFirst) {
    qvlogtest::TempDir dir("qvprobe");
    const std::string path = dir.PathOf("t.dbf");
    ASSERT_TRUE(qvlogtest::WriteTable(path, FirstColumns(true, 16)));
    LgaDbfFile reader(path.c_str(), new LgaSchema(LGA_SCHEMA_VER_1));
    EXPECT_EQ(reader.SetNumOfFields(), 16);
    EXPECT_EQ(reader.GetSchemaVer(), LGA_SCHEMA_VER_2);
    reader.CheckSchemaVer();
    EXPECT_EQ(reader.GetSchemaVer(), LGA_SCHEMA_VER_NONE);
}

// ---------------------------------------------------------------------------------------------
// What the probes give

struct ProbeCase {
    const char* pszName;
    // Makes the file (or not) and returns the path to probe.
    std::string (*pfnMake)(const std::string& dir);
    int nAlarm;
    int nEvent;
};

std::string MakeLog(const std::string& dir, bool bAlarm, int version) {
    const std::string path = dir + "/log.dbf";
    if (bAlarm) {
        std::vector<ALMEVENT> recs = {qvlogtest::MakeAlarm(0, version),
                                      qvlogtest::MakeAlarm(1, version)};
        qvlogtest::CreateLogTable<LgaSchema>(path, static_cast<LGA_SCHEMA_VER>(version), recs);
    } else {
        std::vector<LOGEVENT2> recs = {qvlogtest::MakeEvent(0, version)};
        qvlogtest::CreateLogTable<LgeSchema>(path, static_cast<LGE_SCHEMA_VER>(version), recs);
    }
    return path;
}

std::string WithBytes(const std::string& dir, const qvlogtest::Bytes& bytes) {
    const std::string path = dir + "/file.dbf";
    qvlogtest::WriteFileBytes(path, bytes);
    return path;
}

const ProbeCase kProbeCases[] = {
    {"AlarmV1", [](const std::string& d) { return MakeLog(d, true, 1); }, 1, 0},
    {"AlarmV2", [](const std::string& d) { return MakeLog(d, true, 2); }, 2, 0},
    {"EventV1", [](const std::string& d) { return MakeLog(d, false, 1); }, 0, 1},
    {"EventV2", [](const std::string& d) { return MakeLog(d, false, 2); }, 0, 2},
    {"EmptyPath", [](const std::string&) { return std::string(); }, 0, 0},
    {"Missing", [](const std::string& d) { return d + "/missing.dbf"; }, 0, 0},
    {"Directory", [](const std::string& d) { return d; }, 0, 0},
    {"EmptyFile", [](const std::string& d) { return WithBytes(d, {}); }, 0, 0},
    {"ShortHeader", [](const std::string& d) { return WithBytes(d, qvlogtest::Bytes(20, 3)); }, 0,
     0},
    {"EndsInsideDescriptors",
     [](const std::string& d) {
         qvlogtest::Bytes bytes =
             qvlogtest::BuildTable(qvlogtest::AlarmColumns(kLegacy, 1), {qvlogtest::RowSpec{}});
         bytes.resize(32 + 32 * 5 + 10);
         return WithBytes(d, bytes);
     },
     0, 0},
    {"NoTerminator",
     [](const std::string& d) {
         qvlogtest::Bytes bytes = qvlogtest::BuildTable(qvlogtest::EventColumns(kLegacy, 1), {});
         bytes.resize(bytes.size() - 2);  // drop 0x1A and 0x0D
         return WithBytes(d, bytes);
     },
     0, 0},
    {"RecordLengthZero",
     [](const std::string& d) {
         qvlogtest::Bytes bytes = qvlogtest::BuildTable(qvlogtest::EventColumns(kLegacy, 2), {});
         bytes[10] = 0;
         bytes[11] = 0;
         return WithBytes(d, bytes);
     },
     0, 0},
};

class ProbeTest : public ::testing::TestWithParam<ProbeCase> {
  protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()) << "mkdtemp failed"; }
    qvlogtest::TempDir m_dir{"qvprobe"};
};

// Each kind of table gives its version to its own probe and 0 to the other; nothing else gives a
// version; the file is the same byte for byte afterwards.
TEST_P(ProbeTest, GivesTheVersionOrZeroAndLeavesTheFile) {
    const ProbeCase& c = GetParam();
    const std::string path = c.pfnMake(m_dir.Path());
    struct stat st = {};
    const bool exists = !path.empty() && stat(path.c_str(), &st) == 0;
    const bool regular = exists && S_ISREG(st.st_mode);
    const qvlogtest::Bytes before = regular ? qvlogtest::ReadFileBytes(path) : qvlogtest::Bytes();
    EXPECT_EQ(LgaSchemaVersion(path.c_str()), c.nAlarm);
    EXPECT_EQ(LgeSchemaVersion(path.c_str()), c.nEvent);
    struct stat after = {};
    EXPECT_EQ(!path.empty() && stat(path.c_str(), &after) == 0, exists);
    if (regular) {
        EXPECT_EQ(qvlogtest::ReadFileBytes(path), before);
        EXPECT_EQ(after.st_size, st.st_size);
        EXPECT_EQ(after.st_mtim.tv_sec, st.st_mtim.tv_sec);
        EXPECT_EQ(after.st_mtim.tv_nsec, st.st_mtim.tv_nsec);
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, ProbeTest, ::testing::ValuesIn(kProbeCases),
                         [](const ::testing::TestParamInfo<ProbeCase>& info) {
                             return std::string(info.param.pszName);
                         });

// ---------------------------------------------------------------------------------------------
// Allocation failures

int g_nAllocations = 0;
int g_nFailAt = -1;

BOOL CountingHook(size_t, BOOL, LONG) {
    return g_nAllocations++ == g_nFailAt ? FALSE : TRUE;
}

// An empty path makes nothing: not even the schema is allocated.
TEST(ProbeAllocationTest, EmptyPathAllocatesNothing) {
    g_nAllocations = 0;
    g_nFailAt = -1;
    {
        qvlogtest::ScopedAllocHook hook(&CountingHook);
        EXPECT_EQ(LgaSchemaVersion(CString()), LGA_SCHEMA_VER_NONE);
        EXPECT_EQ(LgeSchemaVersion(""), LGE_SCHEMA_VER_NONE);
    }
    EXPECT_EQ(g_nAllocations, 0);
}

// Allocation k fails, for k = 0, 1, ... until a probe runs through without a failure. Every run
// gives 0 or the right version; leaks would show under LeakSanitizer.
TEST(ProbeAllocationTest, EveryFailedAllocationGivesZeroOrTheVersion) {
    qvlogtest::TempDir dir("qvprobe");
    ASSERT_FALSE(dir.Path().empty());
    struct Target {
        std::string path;
        std::function<int(const std::string&)> probe;
        int nVersion;
    };
    std::vector<Target> targets;
    for (int version : {1, 2}) {
        const std::string alarmDir = dir.PathOf("a" + std::to_string(version));
        const std::string eventDir = dir.PathOf("e" + std::to_string(version));
        mkdir(alarmDir.c_str(), 0700);
        mkdir(eventDir.c_str(), 0700);
        const std::string alarm = MakeLog(alarmDir, true, version);
        const std::string event = MakeLog(eventDir, false, version);
        auto lga = [](const std::string& p) {
            return static_cast<int>(LgaSchemaVersion(p.c_str()));
        };
        auto lge = [](const std::string& p) {
            return static_cast<int>(LgeSchemaVersion(p.c_str()));
        };
        targets.push_back({alarm, lga, version});
        targets.push_back({event, lge, version});
        targets.push_back({alarm, lge, 0});
    }
    targets.push_back(
        {dir.PathOf("missing.dbf"),
         [](const std::string& p) { return static_cast<int>(LgaSchemaVersion(p.c_str())); }, 0});

    for (const Target& t : targets) {
        SCOPED_TRACE(t.path);
        int k = 0;
        for (;; ++k) {
            ASSERT_LT(k, 1000) << "a probe that never stops allocating";
            g_nAllocations = 0;
            g_nFailAt = k;
            int result = -1;
            {
                qvlogtest::ScopedAllocHook hook(&CountingHook);
                result = t.probe(t.path);
            }
            if (g_nAllocations <= k) {
                EXPECT_EQ(result, t.nVersion) << "no allocation failed";
                break;
            }
            EXPECT_TRUE(result == 0 || result == t.nVersion)
                << "allocation " << k << " failed, result " << result;
        }
        EXPECT_GE(k, 2) << "the schema and the reader are allocated at least";
    }
}

}  // namespace
