// quorvel as a command: help, usage errors, bad input files with their reasons and exit codes;
// info, sample and stats on tables of every kind and layout.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ToolTestUtil.h"

namespace qvtool_test {
namespace {

// A scratch directory with one file of each sort; "@name" in arguments stands for its path.
class Files {
  public:
    Files() {
        Sample("alarm", "2", "current", "@alarm");
        Sample("event", "1", "legacy", "@event");
        const std::vector<TestColumn> columns = {{"NAME", 'C', 8, 0}, {"N", 'N', 4, 0}};
        const std::string generic = TableBytes(
            columns, {RowBytes(columns, ' ', {"a", "1"}), RowBytes(columns, ' ', {"b", "2"})});
        WriteFile(Path("@generic"), generic);
        WriteFile(Path("@empty"), "");
        WriteFile(Path("@short"), generic.substr(0, 20));
        WriteFile(Path("@cutdesc"), generic.substr(0, 50));
        WriteFile(Path("@text"), "Alarm report\nBOILER1.DRUM.PRESS HIHI 142.5 bar\n");
        mkdir(Path("@dir").c_str(), 0755);
    }

    std::string Path(const std::string& token) const {
        return token == "@missing" ? m_dir.Of("missing.dbf") : m_dir.Of(token.substr(1));
    }
    std::vector<std::string> Expand(std::vector<std::string> args) const {
        for (std::string& a : args) {
            if (!a.empty() && a[0] == '@') {
                a = Path(a);
            }
        }
        return args;
    }
    RunResult Tool(const std::vector<std::string>& args) const {
        return RunTool(m_dir, Expand(args));
    }
    const ScratchDir& Dir() const { return m_dir; }

  private:
    void Sample(const char* kind, const char* ver, const char* layout, const char* token) {
        RunTool(m_dir, {"sample", "--kind", kind, "--version", ver, "--layout", layout, "--rows",
                        "30", Path(token)});
    }

    ScratchDir m_dir;
};

struct Case {
    std::string name;
    std::vector<std::string> args;
    int status;
    std::string message;      // expected in standard error (or, for help, standard output)
    std::string output = "";  // expected in standard output
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class CommandLineTest : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineTest, ExitsWithItsStatusAndSaysWhy) {
    const Case& c = GetParam();
    Files files;
    const RunResult r = files.Tool(c.args);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    const std::string& where = c.status == 0 ? r.out : r.err;
    EXPECT_NE(where.find(c.message), std::string::npos) << "out:\n" << r.out << "err:\n" << r.err;
    if (c.status == 1) {
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1)
            << "a failure is told in one line: " << r.err;
    }
    EXPECT_NE(r.out.find(c.output), std::string::npos) << r.out;
}

std::vector<Case> BadFileCases() {
    struct Bad {
        const char* token;
        const char* name;
        const char* reason;
    };
    const Bad bads[] = {
        {"@missing", "Missing", "missing.dbf: No such file or directory"},
        {"@dir", "Directory", "dir: is a directory, not a table file"},
        {"@empty", "Empty", "empty: is empty, not a table file"},
        {"@short", "TruncatedHeader",
         "short: is not a table: the file ends inside the 32-byte header (20 bytes)"},
        {"@cutdesc", "CutDescriptors", "cutdesc: the file ends inside the descriptor of column 1"},
        {"@text", "TextFile", "text: is not a dBASE III table (its first byte is 0x41)"},
    };
    std::vector<Case> cases;
    for (const char* command : {"info", "dump", "stats"}) {
        for (const Bad& b : bads) {
            std::string name = std::string(command) + b.name;
            name[0] = static_cast<char>(std::toupper(name[0]));
            cases.push_back({name, {command, b.token}, 1, b.reason});
        }
    }
    // check reports damage it can read past as problems on standard output; files it cannot
    // read at all are told on standard error.
    for (const Bad& b : bads) {
        if (std::strcmp(b.token, "@cutdesc") != 0) {
            cases.push_back({std::string("Check") + b.name, {"check", b.token}, 1, b.reason});
        }
    }
    return cases;
}

std::vector<Case> OtherCases() {
    return {
        {"InfoGoesOnAfterABadFile",
         {"info", "@missing", "@alarm"},
         1,
         "missing.dbf: No such",
         "alarm log, layout revision 2"},
        {"DumpOfTheOtherKind",
         {"dump", "@alarm", "--kind", "event"},
         1,
         "alarm: is an alarm log, not an event log"},
        {"StatsOfTheOtherKind",
         {"stats", "@event", "--kind", "alarm"},
         1,
         "event: is an event log, not an alarm log"},
        {"StatsOfAGenericTable",
         {"stats", "@generic"},
         1,
         "generic: is a generic table, not an alarm or event log"},
        {"FromPastTheEnd",
         {"dump", "@alarm", "--from", "31"},
         1,
         "alarm: --from 31 is past the end: the table has 30 whole rows"},
        {"SampleOverAnExistingFile",
         {"sample", "--kind", "alarm", "--version", "1", "--rows", "1", "@alarm"},
         1,
         "alarm: exists already; --force replaces it"},
        {"NoCommand", {}, 2, "Usage: quorvel COMMAND"},
        {"UnknownCommand", {"frob"}, 2, "unknown command 'frob'"},
        {"NoFile", {"info"}, 2, "quorvel info: no table file given"},
        {"UnknownOption", {"dump", "@alarm", "--bogus"}, 2, "unknown option --bogus"},
        {"BadFormat",
         {"dump", "@alarm", "--format", "xml"},
         2,
         "--format must be one of table, csv, jsonl, not 'xml'"},
        {"NegativeCount", {"dump", "@alarm", "--count", "-1"}, 2, "--count wants a whole number"},
        {"UnknownColumn",
         {"dump", "@alarm", "--columns", "date,nope"},
         2,
         "--columns: the alarm log has no column 'nope'"},
        {"TimeoutWithoutFollow",
         {"dump", "@alarm", "--timeout", "1"},
         2,
         "--interval and --timeout go with --follow"},
        {"MissingValue", {"dump", "@alarm", "--from"}, 2, "option --from needs a value"},
        {"SampleVersion3",
         {"sample", "--kind", "alarm", "--version", "3", "--rows", "1", "@new"},
         2,
         "--version wants a whole number from 1 to 2"},
        {"SampleWithoutRows",
         {"sample", "--kind", "event", "--version", "1", "@new"},
         2,
         "--rows is required"},
        {"Help", {"--help"}, 0, "Usage: quorvel COMMAND"},
        {"InfoHelp", {"info", "--help"}, 0, "Usage: quorvel info FILE..."},
        {"DumpHelp", {"dump", "-h"}, 0, "Usage: quorvel dump FILE"},
        {"CheckHelp", {"check", "--help"}, 0, "Usage: quorvel check"},
        {"StatsHelp", {"stats", "--help"}, 0, "Usage: quorvel stats FILE"},
        {"SampleHelp", {"sample", "--help"}, 0, "Usage: quorvel sample --kind"},
    };
}

INSTANTIATE_TEST_SUITE_P(BadFiles, CommandLineTest, ::testing::ValuesIn(BadFileCases()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Others, CommandLineTest, ::testing::ValuesIn(OtherCases()),
                         [](const auto& info) { return info.param.name; });

struct InfoCase {
    const char* name;
    const char* kind;
    const char* version;
    const char* layout;
    std::vector<std::string> expected;
};

void PrintTo(const InfoCase& c, std::ostream* os) {
    *os << c.name;
}

const InfoCase kInfoCases[] = {
    {"AlarmV1Current",
     "alarm",
     "1",
     "current",
     {"kind           alarm log, layout revision 1", "widths         current build",
      "record length  609 bytes", "header length  513 bytes"}},
    {"AlarmV2Legacy",
     "alarm",
     "2",
     "legacy",
     {"kind           alarm log, layout revision 2", "widths         legacy build",
      "record length  314 bytes", "header length  577 bytes"}},
    {"EventV1Legacy",
     "event",
     "1",
     "legacy",
     {"kind           event log, layout revision 1", "widths         legacy build",
      "record length  214 bytes", "header length  353 bytes"}},
    {"EventV2Current",
     "event",
     "2",
     "current",
     {"kind           event log, layout revision 2", "widths         current build",
      "record length  390 bytes", "header length  417 bytes"}},
};

class SampleInfoTest : public ::testing::TestWithParam<InfoCase> {};

TEST_P(SampleInfoTest, InfoKnowsWhatSampleWrote) {
    const InfoCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.Of("log.dbf");
    ASSERT_EQ(RunTool(dir, {"sample", "--kind", c.kind, "--version", c.version, "--layout",
                            c.layout, "--rows", "250", path})
                  .status,
              0);
    const RunResult info = RunTool(dir, {"info", path});
    EXPECT_EQ(info.status, 0) << info.err;
    std::vector<std::string> expected = c.expected;
    expected.push_back("records        250 in the header, 250 whole rows in the file");
    for (const std::string& want : expected) {
        EXPECT_NE(info.out.find("  " + want + "\n"), std::string::npos) << want << "\n" << info.out;
    }
    const RunResult check = RunTool(dir, {"check", path});
    EXPECT_EQ(check.out, path + ": clean (250 rows)\n");
}

INSTANTIATE_TEST_SUITE_P(Layouts, SampleInfoTest, ::testing::ValuesIn(kInfoCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InfoTest, WidthsOfNeitherBuildAreOther) {
    // An alarm layout whose "TagName" is 100 wide: the probes accept it, neither build wrote it.
    std::vector<TestColumn> columns = {
        {"Date", 'D', 8, 0},        {"Time", 'C', 8, 0},        {"Militime", 'N', 5, 0},
        {"TransType", 'C', 5, 0},   {"TagName", 'C', 100, 0},   {"TagValue", 'F', 20, 10},
        {"TagType", 'C', 1, 0},     {"ThreshVal", 'F', 20, 10}, {"ThreshNum", 'N', 1, 0},
        {"ThreshLabl", 'C', 20, 0}, {"Severity", 'N', 1, 0},    {"DstFlag", 'C', 1, 0},
        {"UserId", 'C', 8, 0},      {"AlarmType", 'N', 1, 0},   {"Dscription", 'C', 254, 0}};
    ScratchDir dir;
    const std::string path = dir.Of("odd.dbf");
    WriteFile(path, TableBytes(columns, {}));
    const RunResult info = RunTool(dir, {"info", path});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("kind           alarm log, layout revision 1\n"), std::string::npos);
    EXPECT_NE(info.out.find("widths         other (neither build's layout)\n"), std::string::npos)
        << info.out;
}

TEST(SampleTest, TheSameSeedWritesTheSameTable) {
    ScratchDir dir;
    auto write = [&dir](const char* name, const char* seed) {
        RunTool(dir, {"sample", "--kind", "alarm", "--version", "2", "--rows", "400", "--seed",
                      seed, dir.Of(name)});
        return ReadFile(dir.Of(name));
    };
    const std::string a = write("a.dbf", "42");
    const std::string b = write("b.dbf", "42");
    const std::string c = write("c.dbf", "43");
    ASSERT_GT(a.size(), 400u * 651u);
    EXPECT_TRUE(a == b) << "same seed, different tables";
    EXPECT_FALSE(a == c) << "different seeds, same table";
}

// Writes alarm or event rows through the library.
template <typename Schema, typename Record>
void WriteLog(const std::string& path, Schema* pSchema, std::vector<Record> records) {
    ZDbfFile file(path.c_str(), pSchema);
    ASSERT_TRUE(
        file.CreateTable(0, -1, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr));
    for (Record& r : records) {
        ASSERT_TRUE(file.AppendRecord(&r));
    }
    file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
}

std::string Bar(int n) {
    return n == 0 ? "" : "  " + std::string(static_cast<size_t>(n), '#');
}

TEST(StatsTest, CountsAlarmsBySeverityTypeTagAndHour) {
    struct Row {
        WORD severity;
        WORD alarmType;
        const char* tag;
        const char* time;
    };
    const Row rows[] = {{1, 1, "BOILER1.DRUM.PRESS", "07:10:00"},
                        {3, 1, "STACK.NOX", "07:59:59"},
                        {3, 2, "BOILER1.DRUM.PRESS", "23:00:00"},
                        {5, 1, "BOILER1.DRUM.PRESS", "--:--"}};
    std::vector<ALMEVENT> records;
    for (const Row& row : rows) {
        ALMEVENT r;
        std::memset(&r, 0, sizeof r);
        r.severity = row.severity;
        r.alarmType = row.alarmType;
        std::snprintf(r.tagName, sizeof r.tagName, "%s", row.tag);
        std::snprintf(r.time, sizeof r.time, "%s", row.time);
        records.push_back(r);
    }
    ScratchDir dir;
    const std::string path = dir.Of("alarms.dbf");
    WriteLog(path, new LgaSchema(LGA_SCHEMA_VER_1), records);

    const RunResult r = RunTool(dir, {"stats", path});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    auto has = [&lines](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    char line[128];
    EXPECT_TRUE(has(path + ": alarm log, layout revision 1, 4 rows")) << r.out;
    const std::vector<std::pair<int, int>> severities = {{1, 1}, {3, 2}, {5, 1}};
    for (const auto& [severity, n] : severities) {
        std::snprintf(line, sizeof line, "  %-20d %9d", severity, n);
        EXPECT_TRUE(has(line + Bar(n * 20))) << line << "\n" << r.out;
    }
    std::snprintf(line, sizeof line, "  %-20d %9d", 2, 1);
    EXPECT_TRUE(has(line + Bar(13))) << "alarm type 2\n" << r.out;
    std::snprintf(line, sizeof line, "   1. %-40s %9d", "BOILER1.DRUM.PRESS", 3);
    EXPECT_TRUE(has(line)) << r.out;
    std::snprintf(line, sizeof line, "   2. %-40s %9d", "STACK.NOX", 1);
    EXPECT_TRUE(has(line)) << r.out;
    EXPECT_TRUE(has("  07         2" + Bar(40))) << r.out;
    EXPECT_TRUE(has("  08         0")) << r.out;
    EXPECT_TRUE(has("  23         1" + Bar(20))) << r.out;
    EXPECT_TRUE(has("  ??         1" + Bar(20) + "  (no readable time)")) << r.out;
}

TEST(StatsTest, CountsEventsByTypeAndCategory) {
    std::vector<LOGEVENT2> records;
    const std::vector<std::pair<int, const char*>> rows = {
        {2, "Operator"}, {2, "Operator"}, {1, "System"}, {5, "Communication"}};
    for (const auto& [type, category] : rows) {
        LOGEVENT2 r;
        std::memset(&r, 0, sizeof r);
        r.type = static_cast<WORD>(type);
        std::snprintf(r.category, sizeof r.category, "%s", category);
        records.push_back(r);
    }
    ScratchDir dir;
    const std::string path = dir.Of("events.dbf");
    WriteLog(path, new LgeSchema(LGE_SCHEMA_VER_2), records);

    const RunResult r = RunTool(dir, {"stats", path});
    ASSERT_EQ(r.status, 0) << r.err;
    char line[128];
    const std::vector<std::pair<std::string, int>> counts = {
        {"1", 1}, {"2", 2}, {"5", 1}, {"Operator", 2}, {"System", 1}};
    for (const auto& [key, n] : counts) {
        std::snprintf(line, sizeof line, "  %-20s %9d", key.c_str(), n);
        EXPECT_NE(r.out.find(line + Bar(n * 20) + "\n"), std::string::npos) << line << "\n"
                                                                            << r.out;
    }
}

}  // namespace
}  // namespace qvtool_test
