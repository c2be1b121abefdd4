// quorvel dump --follow: prints the rows another process appends while it runs, never a row
// that is only partly written, starts again when the table is replaced or shrinks, and stops
// cleanly on SIGINT, SIGTERM, --count and --timeout.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "ToolTestUtil.h"

namespace qvtool_test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kLineTimeout(10000);

ALMEVENT Alarm(int i) {
    ALMEVENT r;
    std::memset(&r, 0, sizeof r);
    r.date = static_cast<TIME32>(CTime(2024, 3, 9, 0, 0, 0).GetTime());
    std::snprintf(r.time, sizeof r.time, "10:00:%02u", static_cast<unsigned>(i) % 60u);
    r.militime = static_cast<WORD>(i);
    std::snprintf(r.transType, sizeof r.transType, "ALM");
    std::snprintf(r.tagName, sizeof r.tagName, "TAG.%d", i);
    r.tagValue = i + 0.5;
    r.tagType = 'A';
    r.threshVal = 100;
    r.threshNum = 2;
    std::snprintf(r.threshLabel, sizeof r.threshLabel, "HI");
    r.severity = static_cast<WORD>(1 + i % 5);
    r.dstFlag = 'N';
    r.alarmType = 1;
    // Long enough to reach the row's second half.
    std::snprintf(r.description, sizeof r.description, "row %d %s", i,
                  std::string(200, 'x').c_str());
    std::snprintf(r.loggingStn, sizeof r.loggingStn, "SCADA-SRV1");
    return r;
}

std::string Expected(int i) {
    return "{\"tagName\":\"TAG." + std::to_string(i) + "\",\"description\":\"row " +
           std::to_string(i) + " " + std::string(200, 'x') + "\"}";
}

void CreateAlarmTable(const std::string& path, int first, int count) {
    ZDbfFile file(path.c_str(), new LgaSchema(LGA_SCHEMA_VER_2));
    ASSERT_TRUE(file.CreateTable(0, 1, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr));
    for (int i = first; i < first + count; ++i) {
        ALMEVENT r = Alarm(i);
        if (file.IsWriteBufferFull()) {
            file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
        }
        ASSERT_TRUE(file.AppendRecord(&r));
    }
    file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
}

// Appends rows through the library as a logging process does: open, append, flush.
void AppendAlarms(const std::string& path, int first, int count) {
    ZDbfFile file(path.c_str(), new LgaSchema(LGA_SCHEMA_VER_2));
    ASSERT_TRUE(file.OpenTable(0, count, ZDbfFile::kOpenReadWrite, nullptr, nullptr));
    for (int i = first; i < first + count; ++i) {
        ALMEVENT r = Alarm(i);
        ASSERT_TRUE(file.AppendRecord(&r));
    }
    ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
}

// The row bytes the library writes for alarm i.
std::string AlarmRow(int i) {
    LgaSchema schema(LGA_SCHEMA_VER_2);
    schema.CreateFieldDesc();
    std::string row(schema.GetRecordLength(), ' ');
    unsigned char* cursor = reinterpret_cast<unsigned char*>(&row[0]);
    ALMEVENT r = Alarm(i);
    schema.WriteToBuffer(cursor, &r);
    return row;
}

void WriteAt(const std::string& path, long long offset, const std::string& bytes) {
    const int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

struct Header {
    long long headerLength;
    long long recordLength;
};

Header ReadHeader(const std::string& path) {
    const std::string h = ReadFile(path).substr(0, 12);
    auto u16 = [&h](size_t at) {
        return static_cast<long long>(static_cast<unsigned char>(h[at]) |
                                      (static_cast<unsigned char>(h[at + 1]) << 8));
    };
    return {u16(8), u16(10)};
}

class FollowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        m_table = m_dir.Of("alarms.dbf");
    }

    std::unique_ptr<Child> StartFollow(std::vector<std::string> extra) {
        std::vector<std::string> argv = {
            QUORVEL_TOOL_PATH, "dump",       m_table, "--follow",  "--format",
            "jsonl",           "--interval", "0.05",  "--columns", "tagName,description"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return std::make_unique<Child>(argv, m_dir.Of("follow.err"));
    }

    ScratchDir m_dir;
    std::string m_table;
};

TEST_F(FollowTest, PrintsAppendedRowsAndNeverAHalfWrittenOne) {
    CreateAlarmTable(m_table, 0, 3);
    const Header header = ReadHeader(m_table);
    auto child = StartFollow({"--count", "8", "--timeout", "30"});
    ASSERT_TRUE(child->Started());

    std::vector<std::string> lines(8);
    std::vector<Clock::time_point> arrived(8);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(child->ReadLine(lines[i], kLineTimeout)) << "row " << i;
    }

    std::atomic<long long> wholeAt{0};  // when row 5 became whole, in steady-clock ticks
    std::thread writer([&] {
        std::this_thread::sleep_for(milliseconds(100));
        AppendAlarms(m_table, 3, 2);
        std::this_thread::sleep_for(milliseconds(100));
        // Row 5 in two halves, as a writer interrupted between two writes leaves it.
        const std::string row = AlarmRow(5);
        const long long at = header.headerLength + 5 * header.recordLength;
        const size_t half = row.size() / 2;
        WriteAt(m_table, at, row.substr(0, half));
        std::this_thread::sleep_for(milliseconds(400));  // many polls see the half row
        wholeAt = Clock::now().time_since_epoch().count();
        WriteAt(m_table, at + static_cast<long long>(half), row.substr(half) + "\x1A");
        std::string count(4, '\0');
        PutLE32(count, 0, 6);
        WriteAt(m_table, 4, count);
        std::this_thread::sleep_for(milliseconds(100));
        AppendAlarms(m_table, 6, 1);
        std::this_thread::sleep_for(milliseconds(100));
        AppendAlarms(m_table, 7, 1);
    });
    for (int i = 3; i < 8; ++i) {
        if (!child->ReadLine(lines[i], kLineTimeout)) {
            ADD_FAILURE() << "no row " << i;
            break;
        }
        arrived[i] = Clock::now();
    }
    writer.join();
    const int status = child->Wait();
    const std::string rest = child->ReadAll();

    EXPECT_EQ(status, 0) << ReadFile(m_dir.Of("follow.err"));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(lines[i], Expected(i)) << "row " << i;
    }
    EXPECT_EQ(rest, "") << "printed more than the 8 rows";
    EXPECT_GE(arrived[5].time_since_epoch().count(), wholeAt.load())
        << "row 5 was printed before its second half was written";
}

TEST_F(FollowTest, GenericTableRowIsPrintedOnlyOnceWhole) {
    const std::vector<TestColumn> columns = {{"NAME", 'C', 12, 0}, {"N", 'N', 4, 0}};
    std::string bytes = TableBytes(columns, {RowBytes(columns, ' ', {"first", "1"})});
    bytes.pop_back();  // no end byte yet
    WriteFile(m_table, bytes);
    Child child({QUORVEL_TOOL_PATH, "dump", m_table, "--follow", "--format", "csv", "--interval",
                 "0.05", "--count", "2", "--timeout", "30"},
                m_dir.Of("follow.err"));
    std::string line;
    ASSERT_TRUE(child.ReadLine(line, kLineTimeout));
    EXPECT_EQ(line, "NAME,N\r");
    ASSERT_TRUE(child.ReadLine(line, kLineTimeout));
    EXPECT_EQ(line, "first,1\r");

    const std::string row = RowBytes(columns, ' ', {"second", "2"});
    WriteAt(m_table, static_cast<long long>(bytes.size()), row.substr(0, 9));
    EXPECT_FALSE(child.ReadLine(line, milliseconds(400))) << "printed a half row: " << line;
    WriteAt(m_table, static_cast<long long>(bytes.size()) + 9, row.substr(9));
    ASSERT_TRUE(child.ReadLine(line, kLineTimeout));
    EXPECT_EQ(line, "second,2\r");
    EXPECT_EQ(child.Wait(), 0);
}

struct ChangeCase {
    const char* name;
    void (*change)(const std::string& path);
    int firstAfter;  // the tag number of the first row printed after the change
    const char* note;
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.name;
}

const ChangeCase kChangeCases[] = {
    {"Replaced",
     [](const std::string& path) {
         CreateAlarmTable(path + ".new", 10, 2);
         ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
     },
     10, "was replaced"},
    {"Shrunk",
     [](const std::string& path) {
         const Header h = ReadHeader(path);
         ASSERT_EQ(truncate(path.c_str(), h.headerLength + 2 * h.recordLength), 0);
     },
     0, "shrank"},
};

class FollowChangeTest : public FollowTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(FollowChangeTest, ReadsTheTableAgainFromItsStart) {
    const ChangeCase& c = GetParam();
    CreateAlarmTable(m_table, 0, 3);
    auto child = StartFollow({"--count", "5", "--timeout", "30"});
    std::string line;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(child->ReadLine(line, kLineTimeout));
        EXPECT_EQ(line, Expected(i));
    }
    c.change(m_table);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(child->ReadLine(line, kLineTimeout)) << "row " << i << " after the change";
        EXPECT_EQ(line, Expected(c.firstAfter + i));
    }
    EXPECT_EQ(child->Wait(), 0);
    EXPECT_NE(ReadFile(m_dir.Of("follow.err")).find(c.note), std::string::npos)
        << ReadFile(m_dir.Of("follow.err"));
}

INSTANTIATE_TEST_SUITE_P(Changes, FollowChangeTest, ::testing::ValuesIn(kChangeCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct StopCase {
    const char* name;
    int signal;  // 0: none, the timeout ends it
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

const StopCase kStopCases[] = {{"Sigint", SIGINT}, {"Sigterm", SIGTERM}, {"Timeout", 0}};

class FollowStopTest : public FollowTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(FollowStopTest, EndsCleanlyWithTheRowsPrinted) {
    const StopCase& c = GetParam();
    CreateAlarmTable(m_table, 0, 2);
    auto child = StartFollow(c.signal == 0 ? std::vector<std::string>{"--timeout", "0.3"}
                                           : std::vector<std::string>{});
    std::string line;
    ASSERT_TRUE(child->ReadLine(line, kLineTimeout));
    ASSERT_TRUE(child->ReadLine(line, kLineTimeout));
    EXPECT_EQ(line, Expected(1));
    const auto start = Clock::now();
    if (c.signal != 0) {
        kill(child->Pid(), c.signal);
    }
    EXPECT_EQ(child->Wait(), 0);
    EXPECT_LT(Clock::now() - start, milliseconds(5000));
    EXPECT_EQ(child->ReadAll(), "");
}

INSTANTIATE_TEST_SUITE_P(Stops, FollowStopTest, ::testing::ValuesIn(kStopCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qvtool_test
