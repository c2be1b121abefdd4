// Log tables from end to end: written through the engine and read back through the readers and
// by an independent dBASE reader (python3-dbfread); written by an independent dBASE writer
// (shapelib's dbfcreate and dbfadd) and read through the probes and readers; and a table of the
// other layout read by this build, its wider texts cut to this build's members.
#include <Quorvel32.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "logs/LogTestUtil.h"

extern char** environ;

namespace {

using qvlogtest::Columns;
using qvlogtest::kLegacy;

// ---------------------------------------------------------------------------------------------
// Running the peers

// Runs argv[0] (searched on PATH) with the arguments; its exit status, or -1.
int Run(const std::vector<std::string>& args, std::string* pOutput = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pOutput != nullptr) {
        if (pipe(pipeFds) != 0) {
            return -1;
        }
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (pOutput != nullptr) {
        close(pipeFds[1]);
        if (rc == 0) {
            char buf[4096];
            ssize_t n;
            while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) {
                pOutput->append(buf, static_cast<size_t>(n));
            }
        }
        close(pipeFds[0]);
    }
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

bool OnPath(const char* pszProgram) {
    const char* path = getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        const std::string candidate = dirs.substr(start, end - start) + "/" + pszProgram;
        if (access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// JSON lines from the python reader: flat objects of strings, numbers and null.

struct JsonValue {
    enum Kind { kString, kNumber, kNull } kind = kNull;
    std::string text;
    double number = 0;
};
using JsonObject = std::vector<std::pair<std::string, JsonValue>>;

class JsonLine {
  public:
    explicit JsonLine(const std::string& s) : m_s(s) {}

    bool Parse(JsonObject& out) {
        Skip();
        if (!Eat('{')) {
            return false;
        }
        Skip();
        if (Eat('}')) {
            return true;
        }
        for (;;) {
            std::string key;
            JsonValue value;
            Skip();
            if (!String(key)) {
                return false;
            }
            Skip();
            if (!Eat(':')) {
                return false;
            }
            Skip();
            if (!Value(value)) {
                return false;
            }
            out.emplace_back(key, value);
            Skip();
            if (Eat('}')) {
                return true;
            }
            if (!Eat(',')) {
                return false;
            }
        }
    }

  private:
    void Skip() {
        while (m_i < m_s.size() && std::isspace(static_cast<unsigned char>(m_s[m_i]))) {
            ++m_i;
        }
    }
    bool Eat(char c) {
        if (m_i < m_s.size() && m_s[m_i] == c) {
            ++m_i;
            return true;
        }
        return false;
    }
    bool String(std::string& out) {
        if (!Eat('"')) {
            return false;
        }
        while (m_i < m_s.size()) {
            char c = m_s[m_i++];
            if (c == '"') {
                return true;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_i >= m_s.size()) {
                return false;
            }
            c = m_s[m_i++];
            switch (c) {
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    if (m_i + 4 > m_s.size()) {
                        return false;
                    }
                    const unsigned long code =
                        std::strtoul(m_s.substr(m_i, 4).c_str(), nullptr, 16);
                    m_i += 4;
                    out += static_cast<char>(code & 0xFF);  // latin-1 texts only
                    break;
                }
                default:
                    out += c;  // \" \\ \/
            }
        }
        return false;
    }
    bool Value(JsonValue& v) {
        if (m_i < m_s.size() && m_s[m_i] == '"') {
            v.kind = JsonValue::kString;
            return String(v.text);
        }
        if (m_s.compare(m_i, 4, "null") == 0) {
            m_i += 4;
            v.kind = JsonValue::kNull;
            return true;
        }
        const char* begin = m_s.c_str() + m_i;
        char* end = nullptr;
        v.number = std::strtod(begin, &end);
        if (end == begin) {
            return false;
        }
        v.kind = JsonValue::kNumber;
        m_i += static_cast<size_t>(end - begin);
        return true;
    }

    const std::string& m_s;
    size_t m_i = 0;
};

const char kDbfReadScript[] = R"(import sys, json, datetime
try:
    from dbfread import DBF
except ImportError:
    sys.exit(3)
for rec in DBF(sys.argv[1], encoding='latin-1', char_decode_errors='strict'):
    out = {}
    for name, value in rec.items():
        if isinstance(value, datetime.date):
            value = value.isoformat()
        elif isinstance(value, str):
            value = value.strip()
        out[name] = value
    print(json.dumps(out))
)";

// The rows of the table as python3-dbfread sees them; GTEST_SKIP-worthy when it is missing.
bool ReadWithDbfRead(const std::string& dir, const std::string& table,
                     std::vector<JsonObject>& rows, std::string& problem) {
    const std::string script = dir + "/read.py";
    const std::string text(kDbfReadScript);
    if (!qvlogtest::WriteFileBytes(script, qvlogtest::Bytes(text.begin(), text.end()))) {
        problem = "cannot write the script";
        return false;
    }
    std::string output;
    const int status = Run({QUORVEL_TEST_PYTHON, script, table}, &output);
    if (status != 0) {
        problem = "python3-dbfread unavailable or failed (status " + std::to_string(status) + ")";
        return false;
    }
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        JsonObject obj;
        if (!JsonLine(line).Parse(obj)) {
            problem = "unreadable line: " + line;
            return false;
        }
        rows.push_back(std::move(obj));
    }
    return true;
}

struct Expected {
    std::string name;
    bool bNumber;
    double number;
    std::string text;
};

Expected Num(const char* pszName, double value) {
    return {pszName, true, value, {}};
}
Expected Text(const char* pszName, const std::string& value) {
    return {pszName, false, 0, value};
}

std::vector<Expected> ExpectedColumns(const ALMEVENT& r, int version) {
    std::vector<Expected> e = {
        Text("Date", qvlogtest::IsoDate(r.date)),
        Text("Time", r.time),
        Num("Militime", r.militime),
        Text("TransType", r.transType),
        Text("TagName", r.tagName),
        Num("TagValue", r.tagValue),
        Text("TagType", std::string(1, r.tagType)),
        Num("ThreshVal", r.threshVal),
        Num("ThreshNum", r.threshNum),
        Text("ThreshLabl", r.threshLabel),
        Num("Severity", r.severity),
        Text("DstFlag", std::string(1, r.dstFlag)),
        Text("UserId", r.userId),
        Num("AlarmType", r.alarmType),
        Text("Dscription", r.description),
    };
    if (version == 2) {
        e.push_back(Text("UserStn", r.userStn));
        e.push_back(Text("LoggingStn", r.loggingStn));
    }
    return e;
}

std::vector<Expected> ExpectedColumns(const LOGEVENT2& r, int version) {
    std::vector<Expected> e = {
        Num("Type", r.type),
        Num("Id", r.id),
        Text("Date", qvlogtest::IsoDate(r.date)),
        Text("Time", r.time),
        Num("Militime", r.militime),
        Text("DstFlag", std::string(1, r.dstFlag)),
        Text("Category", r.category),
        Text("Source", r.source),
        Text("User", r.user),
        Text("Dscrptn", r.description),
    };
    if (version == 2) {
        e.push_back(Text("UserStn", r.userStn));
        e.push_back(Text("LoggingStn", r.loggingStn));
    }
    return e;
}

void ExpectSameColumns(const JsonObject& got, const std::vector<Expected>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(want[i].name);
        EXPECT_EQ(got[i].first, want[i].name);
        if (want[i].bNumber) {
            ASSERT_EQ(got[i].second.kind, JsonValue::kNumber);
            EXPECT_NEAR(got[i].second.number, want[i].number,
                        1e-9 * std::max(1.0, std::fabs(want[i].number)));
        } else {
            ASSERT_EQ(got[i].second.kind, JsonValue::kString);
            EXPECT_EQ(got[i].second.text, want[i].text);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Through the engine, back through the reader and through python3-dbfread

struct KindCase {
    bool bAlarm;
    int nVersion;
};

const KindCase kKindCases[] = {{true, 1}, {true, 2}, {false, 1}, {false, 2}};

std::string KindCaseName(const ::testing::TestParamInfo<KindCase>& info) {
    return std::string(info.param.bAlarm ? "Alarm" : "Event") + "V" +
           std::to_string(info.param.nVersion);
}

class EndToEndTest : public ::testing::TestWithParam<KindCase> {
  protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()) << "mkdtemp failed"; }

    // Reads every row through a reader as a host does and compares it with recs.
    template <typename Schema, typename Reader, typename Record, typename Version>
    void ReadBack(const std::string& path, int version, const std::vector<Record>& recs,
                  void (*pfnExpect)(const Record&, const Record&, int)) {
        Reader reader(path.c_str(), new Schema(static_cast<Version>(1)));
        reader.CheckSchemaVer();
        ASSERT_EQ(reader.GetSchemaVer(), version);
        ASSERT_TRUE(reader.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
        for (size_t i = 0; i < recs.size(); ++i) {
            SCOPED_TRACE(i);
            auto rec = std::make_unique<Record>();
            std::memset(rec.get(), 0, sizeof(Record));
            ASSERT_EQ(reader.ReadRecord(static_cast<LONG>(i), rec.get()), 1);
            pfnExpect(recs[i], *rec, version);
        }
        Record rest;
        EXPECT_EQ(reader.ReadRecord(static_cast<LONG>(recs.size()), &rest), 0);
        reader.Close();
    }

    qvlogtest::ScopedTimeZone m_tz{qvlogtest::kTestTimeZone};
    qvlogtest::TempDir m_dir{"qvend"};
};

TEST_P(EndToEndTest, EngineTableReadsBackThroughReaderAndDbfRead) {
    const KindCase& c = GetParam();
    const std::string path = m_dir.PathOf("log.dbf");
    constexpr int kRows = 5;  // more than the write buffer holds: several flushes
    std::vector<std::vector<Expected>> expected;
    if (c.bAlarm) {
        std::vector<ALMEVENT> recs;
        for (int i = 0; i < kRows; ++i) {
            recs.push_back(qvlogtest::MakeAlarm(i, c.nVersion));
            expected.push_back(ExpectedColumns(recs.back(), c.nVersion));
        }
        qvlogtest::CreateLogTable<LgaSchema>(path, static_cast<LGA_SCHEMA_VER>(c.nVersion), recs);
        EXPECT_EQ(LgaSchemaVersion(path.c_str()), c.nVersion);
        ReadBack<LgaSchema, LgaDbfFile, ALMEVENT, LGA_SCHEMA_VER>(path, c.nVersion, recs,
                                                                  &qvlogtest::ExpectAlarmRead);
    } else {
        std::vector<LOGEVENT2> recs;
        for (int i = 0; i < kRows; ++i) {
            recs.push_back(qvlogtest::MakeEvent(i, c.nVersion));
            expected.push_back(ExpectedColumns(recs.back(), c.nVersion));
        }
        qvlogtest::CreateLogTable<LgeSchema>(path, static_cast<LGE_SCHEMA_VER>(c.nVersion), recs);
        EXPECT_EQ(LgeSchemaVersion(path.c_str()), c.nVersion);
        ReadBack<LgeSchema, LgeDbfFile, LOGEVENT2, LGE_SCHEMA_VER>(path, c.nVersion, recs,
                                                                   &qvlogtest::ExpectEventRead);
    }
    const qvlogtest::Bytes bytes = qvlogtest::ReadFileBytes(path);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), 0x1A);

    std::vector<JsonObject> rows;
    std::string problem;
    if (!ReadWithDbfRead(m_dir.Path(), path, rows, problem)) {
        GTEST_SKIP() << "python3-dbfread: " << problem;
    }
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectSameColumns(rows[i], expected[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, EndToEndTest, ::testing::ValuesIn(kKindCases), KindCaseName);

// A version-2 table appended to by a schema set back to version 1 converts 15 (10) columns: the
// station columns of the slot are left to the engine, which blanks them.
TEST(AppendTest, BlanksWhatTheSchemaDoesNotWrite) {
    qvlogtest::ScopedTimeZone tz(qvlogtest::kTestTimeZone);
    qvlogtest::TempDir dir("qvappend");
    ASSERT_FALSE(dir.Path().empty());
    for (bool bAlarm : {true, false}) {
        SCOPED_TRACE(bAlarm ? "alarm" : "event");
        const std::string path = dir.PathOf(bAlarm ? "alarm.dbf" : "event.dbf");
        const Columns cols =
            bAlarm ? qvlogtest::AlarmColumns(kLegacy, 2) : qvlogtest::EventColumns(kLegacy, 2);
        {
            ZDbfSchema* pSchema = bAlarm
                                      ? static_cast<ZDbfSchema*>(new LgaSchema(LGA_SCHEMA_VER_2))
                                      : static_cast<ZDbfSchema*>(new LgeSchema(LGE_SCHEMA_VER_2));
            ZDbfFile file(path.c_str(), pSchema);
            ASSERT_TRUE(
                file.CreateTable(1, 4, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr));
            // Storage from the allocator is not cleared: give the slots a visible stain first.
            std::memset(file.GetWriteBuffer()->GetData(), '#',
                        size_t{file.GetWriteBuffer()->GetRecordLength()} * 4);
            ALMEVENT alarm = qvlogtest::MakeAlarm(1, 2);
            LOGEVENT2 event = qvlogtest::MakeEvent(1, 2);
            if (bAlarm) {
                static_cast<LgaSchema*>(pSchema)->SetSchemaVer(LGA_SCHEMA_VER_1);
                ASSERT_TRUE(file.AppendRecord(&alarm));
            } else {
                static_cast<LgeSchema*>(pSchema)->SetSchemaVer(LGE_SCHEMA_VER_1);
                ASSERT_TRUE(file.AppendRecord(&event));
            }
            ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
        }
        const qvlogtest::Bytes bytes = qvlogtest::ReadFileBytes(path);
        const size_t headerLength = 32 * cols.size() + 33;
        const size_t recordLength = qvlogtest::RecordLength(cols);
        ASSERT_EQ(bytes.size(), headerLength + recordLength + 1);
        const size_t stations = qvlogtest::ColumnOffset(cols, cols.size() - 2);
        EXPECT_EQ(bytes[headerLength], ' ');
        EXPECT_EQ(std::string(bytes.begin() + static_cast<long>(headerLength + stations),
                              bytes.begin() + static_cast<long>(headerLength + recordLength)),
                  std::string(recordLength - stations, ' '));
        EXPECT_EQ(bytes.back(), 0x1A);
    }
}

// ---------------------------------------------------------------------------------------------
// Written by shapelib's dbfcreate and dbfadd

std::string DateText(TIME32 value) {
    const time_t t = value;
    struct tm local = {};
    localtime_r(&t, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &local);
    return text;
}

std::string Fixed(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

std::vector<std::string> PeerValues(const ALMEVENT& r, int version) {
    std::vector<std::string> v = {
        DateText(r.date),
        r.time,
        std::to_string(r.militime),
        r.transType,
        r.tagName,
        Fixed(r.tagValue),
        std::string(1, r.tagType),
        Fixed(r.threshVal),
        std::to_string(r.threshNum),
        r.threshLabel,
        std::to_string(r.severity),
        std::string(1, r.dstFlag),
        r.userId,
        std::to_string(r.alarmType),
        r.description,
    };
    if (version == 2) {
        v.push_back(r.userStn);
        v.push_back(r.loggingStn);
    }
    return v;
}

std::vector<std::string> PeerValues(const LOGEVENT2& r, int version) {
    std::vector<std::string> v = {
        std::to_string(r.type),
        std::to_string(r.id),
        DateText(r.date),
        r.time,
        std::to_string(r.militime),
        std::string(1, r.dstFlag),
        r.category,
        r.source,
        r.user,
        r.description,
    };
    if (version == 2) {
        v.push_back(r.userStn);
        v.push_back(r.loggingStn);
    }
    return v;
}

// dbfcreate knows character and numeric columns only: the date column is made as an 8-wide
// character column and the float columns as numeric ones, and after dbfadd has written the rows
// their type letters are set to 'D' and 'F'. The texts in the rows are dbfadd's own.
void MakePeerTable(const std::string& path, const Columns& cols,
                   const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::string> create = {"dbfcreate", path};
    for (const auto& col : cols) {
        if (col.type == 'C' || col.type == 'D') {
            create.insert(create.end(), {"-s", col.name, std::to_string(col.width)});
        } else {
            create.insert(create.end(), {"-n", col.name, std::to_string(col.width),
                                         std::to_string(col.decimals)});
        }
    }
    ASSERT_EQ(Run(create), 0);
    for (const auto& row : rows) {
        std::vector<std::string> add = {"dbfadd", path};
        add.insert(add.end(), row.begin(), row.end());
        ASSERT_EQ(Run(add), 0);
    }
    qvlogtest::Bytes bytes = qvlogtest::ReadFileBytes(path);
    ASSERT_GT(bytes.size(), 32 + 32 * cols.size());
    for (size_t i = 0; i < cols.size(); ++i) {
        unsigned char& type = bytes[32 + 32 * i + 11];
        ASSERT_EQ(type, cols[i].type == 'C' || cols[i].type == 'D' ? 'C' : 'N') << cols[i].name;
        if (cols[i].type == 'D' || cols[i].type == 'F') {
            type = static_cast<unsigned char>(cols[i].type);
        }
    }
    ASSERT_TRUE(qvlogtest::WriteFileBytes(path, bytes));
}

class PeerTableTest : public EndToEndTest {};

TEST_P(PeerTableTest, TableFromShapelibIsRecognisedAndRead) {
    if (!OnPath("dbfcreate") || !OnPath("dbfadd")) {
        GTEST_SKIP() << "shapelib's dbfcreate and dbfadd are not installed (apt: shapelib)";
    }
    const KindCase& c = GetParam();
    const std::string path = m_dir.PathOf("peer.dbf");
    if (c.bAlarm) {
        std::vector<ALMEVENT> recs = {qvlogtest::MakeAlarm(0, c.nVersion),
                                      qvlogtest::MakeAlarm(3, c.nVersion)};
        MakePeerTable(path, qvlogtest::AlarmColumns(kLegacy, c.nVersion),
                      {PeerValues(recs[0], c.nVersion), PeerValues(recs[1], c.nVersion)});
        if (HasFatalFailure()) {
            return;
        }
        EXPECT_EQ(LgaSchemaVersion(path.c_str()), c.nVersion);
        EXPECT_EQ(LgeSchemaVersion(path.c_str()), LGE_SCHEMA_VER_NONE);
        ReadBack<LgaSchema, LgaDbfFile, ALMEVENT, LGA_SCHEMA_VER>(path, c.nVersion, recs,
                                                                  &qvlogtest::ExpectAlarmRead);
    } else {
        std::vector<LOGEVENT2> recs = {qvlogtest::MakeEvent(0, c.nVersion),
                                       qvlogtest::MakeEvent(1, c.nVersion)};
        MakePeerTable(path, qvlogtest::EventColumns(kLegacy, c.nVersion),
                      {PeerValues(recs[0], c.nVersion), PeerValues(recs[1], c.nVersion)});
        if (HasFatalFailure()) {
            return;
        }
        EXPECT_EQ(LgeSchemaVersion(path.c_str()), c.nVersion);
        EXPECT_EQ(LgaSchemaVersion(path.c_str()), LGA_SCHEMA_VER_NONE);
        ReadBack<LgeSchema, LgeDbfFile, LOGEVENT2, LGE_SCHEMA_VER>(path, c.nVersion, recs,
                                                                   &qvlogtest::ExpectEventRead);
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, PeerTableTest, ::testing::ValuesIn(kKindCases), KindCaseName);

// ---------------------------------------------------------------------------------------------
// A table of the other layout

// Texts that fill each text column to its width; the values of the other columns.
std::vector<std::string> FullWidthRow(const Columns& cols) {
    std::vector<std::string> row;
    for (const auto& col : cols) {
        if (col.type == 'C' && col.width > 1) {
            row.push_back(qvlogtest::Pattern(col.name + ".", static_cast<size_t>(col.width)));
        } else if (col.type == 'C') {
            row.push_back("X");
        } else if (col.type == 'D') {
            row.push_back("20240309");
        } else if (col.type == 'F') {
            row.push_back("-1.5000000000");
        } else {
            row.push_back(std::string(static_cast<size_t>(col.width), '7'));
        }
    }
    return row;
}

// What a member of size nSize holds after reading column i of FullWidthRow.
std::string Cut(const Columns& cols, size_t i, size_t nSize) {
    const std::string text =
        qvlogtest::Pattern(cols[i].name + ".", static_cast<size_t>(cols[i].width));
    return text.substr(0, std::min(text.size(), nSize - 1));
}

// The legacy build reads a current-layout table with its wider texts cut to the members; the
// current build reads a legacy table whole. The records are heap objects of their exact size.
TEST(OtherLayoutTest, AlarmTableOfTheOtherLayout) {
    qvlogtest::ScopedTimeZone tz(qvlogtest::kTestTimeZone);
    qvlogtest::TempDir dir("qvother");
    const std::string path = dir.PathOf("other.dbf");
    const Columns cols = qvlogtest::AlarmColumns(!kLegacy, 2);
    ASSERT_TRUE(qvlogtest::WriteTable(path, cols, {{FullWidthRow(cols)}, {FullWidthRow(cols)}}));
    EXPECT_EQ(LgaSchemaVersion(path.c_str()), LGA_SCHEMA_VER_2);

    LgaDbfFile reader(path.c_str(), new LgaSchema());
    reader.CheckSchemaVer();
    ASSERT_EQ(reader.GetSchemaVer(), LGA_SCHEMA_VER_2);
    ASSERT_TRUE(reader.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
    for (LONG row : {1, 0}) {
        auto rec = std::make_unique<ALMEVENT>();
        std::memset(rec.get(), 0, sizeof(ALMEVENT));
        ASSERT_EQ(reader.ReadRecord(row, rec.get()), 1);
        EXPECT_EQ(+rec->date, qvlogtest::LocalMidnight(2024, 3, 9));
        EXPECT_EQ(std::string(rec->time), Cut(cols, 1, sizeof rec->time));
        EXPECT_EQ(+rec->militime, 77777 & 0xFFFF);
        EXPECT_EQ(std::string(rec->tagName), Cut(cols, 4, sizeof rec->tagName));
        EXPECT_EQ(std::strlen(rec->tagName), 40u) << "the legacy width, either way";
        EXPECT_DOUBLE_EQ(+rec->tagValue, -1.5);
        EXPECT_EQ(rec->tagType, 'X');
        EXPECT_EQ(+rec->severity, 7);
        EXPECT_EQ(std::string(rec->userId), Cut(cols, 12, sizeof rec->userId));
        EXPECT_EQ(std::string(rec->description), Cut(cols, 14, sizeof rec->description));
        EXPECT_EQ(std::strlen(rec->description), 132u);
        EXPECT_EQ(std::string(rec->loggingStn), Cut(cols, 16, sizeof rec->loggingStn));
    }
}

TEST(OtherLayoutTest, EventTableOfTheOtherLayout) {
    qvlogtest::ScopedTimeZone tz(qvlogtest::kTestTimeZone);
    qvlogtest::TempDir dir("qvother");
    const std::string path = dir.PathOf("other.dbf");
    const Columns cols = qvlogtest::EventColumns(!kLegacy, 2);
    ASSERT_TRUE(qvlogtest::WriteTable(path, cols, {{FullWidthRow(cols)}}));
    EXPECT_EQ(LgeSchemaVersion(path.c_str()), LGE_SCHEMA_VER_2);

    LgeDbfFile reader(path.c_str(), new LgeSchema());
    reader.CheckSchemaVer();
    ASSERT_EQ(reader.GetSchemaVer(), LGE_SCHEMA_VER_2);
    ASSERT_TRUE(reader.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
    auto rec = std::make_unique<LOGEVENT2>();
    std::memset(rec.get(), 0, sizeof(LOGEVENT2));
    ASSERT_EQ(reader.ReadRecord(0, rec.get()), 1);
    EXPECT_EQ(+rec->type, 7);
    EXPECT_EQ(+rec->id, 2147483647) << "7777777777 is beyond 32 bits";
    EXPECT_EQ(+rec->date, qvlogtest::LocalMidnight(2024, 3, 9));
    EXPECT_EQ(rec->dstFlag, 'X');
    EXPECT_EQ(std::string(rec->category), Cut(cols, 6, sizeof rec->category));
    EXPECT_EQ(std::string(rec->source), Cut(cols, 7, sizeof rec->source));
    EXPECT_EQ(std::strlen(rec->source), 20u);
    EXPECT_EQ(std::string(rec->user), Cut(cols, 8, sizeof rec->user));
    EXPECT_EQ(std::string(rec->description), Cut(cols, 9, sizeof rec->description));
    EXPECT_EQ(std::strlen(rec->description), 132u);
    EXPECT_EQ(std::string(rec->userStn), Cut(cols, 10, sizeof rec->userStn));
}

}  // namespace
