// quorvel dump: rows agree value for value with an independent reader (python3-dbfread) on
// tables written by shapelib's tools, by the library, and byte by byte; the output formats hold
// to their documented rules; --from, --count and --columns pick the right rows and columns.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ToolTestUtil.h"

namespace qvtool_test {
namespace {

// A table with every column type, blanks and the odd values the types allow.
std::string AllTypesTable() {
    const std::vector<TestColumn> columns = {{"NAME", 'C', 10, 0},  {"WHEN", 'D', 8, 0},
                                             {"LEVEL", 'F', 12, 3}, {"OK", 'L', 1, 0},
                                             {"QTY", 'N', 6, 0},    {"RATE", 'N', 8, 2}};
    return TableBytes(
        columns, {
                     RowBytes(columns, ' ', {"pump A", "20240309", "12.500", "T", "42", "-1.25"}),
                     RowBytes(columns, ' ', {"valve, B", "00000000", "-0.125", "F", "0", "3.00"}),
                     RowBytes(columns, ' ', {"", "20240229", "1.5e3", "?", "-123", "1.5E+2"}),
                     RowBytes(columns, '*', {"deleted", "19991231", "", "Y", "", ""}),
                     RowBytes(columns, ' ', {"  blanks", "", "", "f", "7", ""}),
                 });
}

struct PeerCase {
    const char* name;
    const char* encoding;  // how dbfread decodes the text
    const char* kind;      // keys: alarm or event members, or generic column names
    // Makes the table at path; false when it could not.
    bool (*make)(const ScratchDir& dir, const std::string& path);
};

void PrintTo(const PeerCase& c, std::ostream* os) {
    *os << c.name;
}

bool Shapelib(const ScratchDir& dir, const std::string& path,
              const std::vector<std::vector<std::string>>& rows) {
    if (RunProgram({"/usr/bin/dbfcreate", path, "-s", "Name", "20", "-n", "Count", "5", "0", "-n",
                    "Value", "10", "3", "-n", "Big", "12", "0"},
                   dir.Of("dbfcreate.err"))
            .status != 0) {
        return false;
    }
    for (const auto& row : rows) {
        std::vector<std::string> argv = {"/usr/bin/dbfadd", path};
        argv.insert(argv.end(), row.begin(), row.end());
        if (RunProgram(argv, dir.Of("dbfadd.err")).status != 0) {
            return false;
        }
    }
    return true;
}

bool Sample(const ScratchDir& dir, const std::string& path, const char* kind, const char* ver,
            const char* layout) {
    return RunTool(dir, {"sample", "--kind", kind, "--version", ver, "--rows", "150", "--seed",
                         "11", "--layout", layout, path})
               .status == 0;
}

const PeerCase kPeerCases[] = {
    {"ShapelibAscii", "cp1252", "generic",
     [](const ScratchDir& d, const std::string& p) {
         return Shapelib(d, p,
                         {{"PUMP 1", "12", "3.25", "12345678901"},
                          {"Valve, \"B\"", "-7", "-0.5", "-1"},
                          {"  two blanks", "0", "100.125", "0"}});
     }},
    {"ShapelibLatin1", "latin-1", "generic",
     [](const ScratchDir& d, const std::string& p) {
         return Shapelib(d, p,
                         {{"Temp \xB0"
                           "C high",
                           "1", "1", "1"},
                          {"M\xFCller \xA7 3", "2", "2", "2"}});
     }},
    {"ShapelibUtf8", "utf-8", "generic",
     [](const ScratchDir& d, const std::string& p) {
         return Shapelib(d, p,
                         {{"M\xC3\xBCller", "1", "1", "1"},
                          {"\xE6\xB8\xA9\xE5\xBA\xA6 \xE2\x82\xAC", "2", "2", "2"}});
     }},
    {"HandMadeAllTypes", "ascii", "generic",
     [](const ScratchDir&, const std::string& p) {
         WriteFile(p, AllTypesTable());
         return true;
     }},
    {"AlarmV2Current", "ascii", "alarm",
     [](const ScratchDir& d, const std::string& p) {
         return Sample(d, p, "alarm", "2", "current");
     }},
    {"AlarmV1Legacy", "ascii", "alarm",
     [](const ScratchDir& d, const std::string& p) {
         return Sample(d, p, "alarm", "1", "legacy");
     }},
    {"EventV1Current", "ascii", "event",
     [](const ScratchDir& d, const std::string& p) {
         return Sample(d, p, "event", "1", "current");
     }},
    {"EventV2Legacy", "ascii", "event",
     [](const ScratchDir& d, const std::string& p) {
         return Sample(d, p, "event", "2", "legacy");
     }},
};

class PeerAgreementTest : public ::testing::TestWithParam<PeerCase> {};

TEST_P(PeerAgreementTest, JsonLinesAgreeWithDbfread) {
    const PeerCase& c = GetParam();
    ScratchDir dir;
    const std::string table = dir.Of("table.dbf");
    ASSERT_TRUE(c.make(dir, table));

    // The deleted row of the hand-made table is one dbfread skips: compare without it.
    const bool bHasDeleted = std::string(c.name) == "HandMadeAllTypes";
    RunResult dump = RunTool(dir, {"dump", table, "--format", "jsonl"});
    ASSERT_EQ(dump.status, 0) << dump.err;
    std::string jsonl;
    int row = 0;
    for (const std::string& line : Lines(dump.out)) {
        if (!(bHasDeleted && row == 3)) {
            jsonl += line + "\n";
        }
        ++row;
    }
    WriteFile(dir.Of("rows.jsonl"), jsonl);

    const RunResult peer =
        RunProgram({QUORVEL_TEST_PYTHON, QUORVEL_TOOL_TEST_DIR "/dbfread_compare.py", table,
                    dir.Of("rows.jsonl"), c.encoding, c.kind},
                   dir.Of("python.err"));
    EXPECT_EQ(peer.status, 0) << peer.out << peer.err;
}

INSTANTIATE_TEST_SUITE_P(Tables, PeerAgreementTest, ::testing::ValuesIn(kPeerCases),
                         [](const auto& info) { return std::string(info.param.name); });

class DumpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        m_table = m_dir.Of("t.dbf");
    }
    RunResult Dump(std::vector<std::string> args) {
        args.insert(args.begin(), {"dump", m_table});
        return RunTool(m_dir, args);
    }

    ScratchDir m_dir;
    std::string m_table;
};

TEST_F(DumpTest, JsonKeepsUtf8AndEscapesEverythingElse) {
    // Quote, backslash, tab, a control byte, a lone Latin-1 byte, valid UTF-8, DEL.
    const std::vector<TestColumn> columns = {{"T", 'C', 16, 0}};
    WriteFile(m_table, TableBytes(columns, {RowBytes(columns, ' ',
                                                     {std::string("a\"b\\c\td\x01") + "\xB0" +
                                                      "\xC3\xA9" + "\x7F"})}));
    const RunResult r = Dump({"--format", "jsonl"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"T\":\"a\\\"b\\\\c\\td\\u0001\\u00b0\xC3\xA9\\u007f\"}\n");
}

TEST_F(DumpTest, CsvQuotesPerRfc4180) {
    const std::vector<TestColumn> columns = {{"A", 'C', 6, 0}, {"B,C", 'N', 3, 0}};
    WriteFile(m_table, TableBytes(columns, {RowBytes(columns, ' ', {"plain", "1"}),
                                            RowBytes(columns, ' ', {"x,y", "2"}),
                                            RowBytes(columns, ' ', {"say\"h\"", "3"}),
                                            RowBytes(columns, ' ', {"two\r\nl", "4"})}));
    const RunResult r = Dump({"--format", "csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "A,\"B,C\"\r\n"
              "plain,1\r\n"
              "\"x,y\",2\r\n"
              "\"say\"\"h\"\"\",3\r\n"
              "\"two\r\nl\",4\r\n");
}

TEST_F(DumpTest, TableFormatAlignsColumns) {
    const std::vector<TestColumn> columns = {{"NAME", 'C', 10, 0}, {"QTY", 'N', 6, 0}};
    WriteFile(m_table, TableBytes(columns, {RowBytes(columns, ' ', {"pump A", "42"}),
                                            RowBytes(columns, ' ', {"valve", "-1234"})}));
    const RunResult r = Dump({});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "NAME    QTY\n"
              "------  -----\n"
              "pump A     42\n"
              "valve   -1234\n");
}

TEST_F(DumpTest, FromCountAndColumnsPickRowsAndColumns) {
    const std::vector<TestColumn> columns = {{"NAME", 'C', 8, 0}, {"N", 'N', 3, 0}};
    std::vector<std::string> rows;
    for (int i = 0; i < 6; ++i) {
        rows.push_back(RowBytes(columns, ' ', {"row" + std::to_string(i), std::to_string(i * 10)}));
    }
    WriteFile(m_table, TableBytes(columns, rows));
    struct Pick {
        std::vector<std::string> args;
        std::string expected;
    };
    const Pick picks[] = {
        {{"--from", "2", "--count", "2"}, "NAME,N\r\nrow2,20\r\nrow3,30\r\n"},
        {{"--from", "-2"}, "NAME,N\r\nrow4,40\r\nrow5,50\r\n"},
        {{"--from", "-9", "--count", "1"}, "NAME,N\r\nrow0,0\r\n"},
        {{"--from", "6"}, "NAME,N\r\n"},
        {{"--columns", "N,NAME", "--count", "1"}, "N,NAME\r\n0,row0\r\n"},
        {{"--count", "0"}, "NAME,N\r\n"},
    };
    for (const Pick& p : picks) {
        std::vector<std::string> args = {"--format", "csv"};
        args.insert(args.end(), p.args.begin(), p.args.end());
        const RunResult r = Dump(args);
        EXPECT_EQ(r.status, 0) << ::testing::PrintToString(p.args) << r.err;
        EXPECT_EQ(r.out, p.expected) << ::testing::PrintToString(p.args);
    }
}

// An operator whose locale writes decimals with ',' (de_DE): tables hold '.', and the tool
// reads and writes them as they are.
TEST_F(DumpTest, DecimalsAreTheSameInACommaLocale) {
    const std::string locale = m_dir.Of("de_DE.UTF-8");
    const int rc =
        std::system(("localedef -i de_DE -f UTF-8 '" + locale + "' >/dev/null 2>&1").c_str());
    if (ReadFile(locale + "/LC_NUMERIC").empty()) {
        GTEST_SKIP() << "localedef could not compile de_DE.UTF-8 (exit " << rc << ")";
    }
    const std::vector<TestColumn> columns = {{"F", 'F', 10, 3}, {"N", 'N', 8, 2}};
    WriteFile(m_table, TableBytes(columns, {RowBytes(columns, ' ', {"12.500", "-1.25"})}));
    const std::string alarms = m_dir.Of("alarms.dbf");
    const std::vector<std::string> dumpAlarms = {"dump", alarms, "--format", "jsonl"};
    ASSERT_EQ(
        RunTool(m_dir, {"sample", "--kind", "alarm", "--version", "1", "--rows", "50", alarms})
            .status,
        0);
    const std::string plain = RunTool(m_dir, dumpAlarms).out;

    EnvGuard path("LOCPATH", m_dir.Path());
    EnvGuard all("LC_ALL", "de_DE.UTF-8");
    const RunResult r = Dump({"--format", "jsonl"});
    EXPECT_EQ(r.out, "{\"F\":12.5,\"N\":-1.25}\n") << r.err;
    EXPECT_TRUE(RunTool(m_dir, dumpAlarms).out == plain) << "alarms read differently";
    const std::string written = m_dir.Of("written.dbf");
    ASSERT_EQ(
        RunTool(m_dir, {"sample", "--kind", "alarm", "--version", "1", "--rows", "50", written})
            .status,
        0);
    EXPECT_EQ(ReadFile(written), ReadFile(alarms)) << "written differently in a comma locale";
}

TEST_F(DumpTest, RowsPastTheHeaderCountAndCutRowsFollowTheFileNotTheHeader) {
    std::string bytes = TableBytes({{"N", 'N', 3, 0}}, {"   1", "   2", "   3"});
    PutLE32(bytes, 4, 1);                      // the header counts one row
    bytes.replace(bytes.size() - 1, 1, "  ");  // a fourth row, cut after two bytes
    WriteFile(m_table, bytes);
    const RunResult r = Dump({"--format", "csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "N\r\n1\r\n2\r\n3\r\n");
}

}  // namespace
}  // namespace qvtool_test
