// quorvel check: each fault planted in a small table is found and placed at the right row and
// byte; a clean table is reported clean.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ToolTestUtil.h"

namespace qvtool_test {
namespace {

// Header 32 x 4 + 33 = 161 bytes; rows of 1 + 10 + 5 + 8 + 8 = 32 bytes: row n at 161 + 32n,
// its columns at +1 (NAME), +11 (QTY), +16 (WHEN), +24 (PRICE).
const std::vector<TestColumn> kColumns = {
    {"NAME", 'C', 10, 0}, {"QTY", 'N', 5, 0}, {"WHEN", 'D', 8, 0}, {"PRICE", 'F', 8, 2}};
constexpr size_t kHeaderLength = 161;
constexpr size_t kRecordLength = 32;

std::vector<std::string> GoodRows() {
    return {RowBytes(kColumns, ' ', {"bolt", "120", "20240309", "0.25"}),
            RowBytes(kColumns, '*', {"nut", "", "", ""}),  // deleted and blank: both fine
            RowBytes(kColumns, ' ', {"washer", "-7", "20000229", "1.5e2"})};
}

struct FaultCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> expected;  // lines (or parts of lines) the report must hold
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

std::string WithRow(size_t n, const std::string& row) {
    std::vector<std::string> rows = GoodRows();
    rows[n] = row;
    return TableBytes(kColumns, rows);
}

std::string At(size_t row, size_t column) {
    return "row " + std::to_string(row) + ", byte " +
           std::to_string(kHeaderLength + row * kRecordLength + column);
}

std::vector<FaultCase> FaultCases() {
    const std::string good = TableBytes(kColumns, GoodRows());
    std::vector<FaultCase> cases;

    std::string lying = good;
    PutLE32(lying, 4, 5);
    cases.push_back({"CountThatLies",
                     lying,
                     {"byte 4: the header counts 5 rows, but 3 whole rows are in the file"}});

    std::string cut = good.substr(0, kHeaderLength + 2 * kRecordLength + 20);
    cases.push_back({"CutLastRow",
                     cut,
                     {At(2, 0) + ": the last row is cut short: 20 of 32 bytes, and no end byte",
                      "byte 4: the header counts 3 rows, but 2 whole rows are in the file"}});

    cases.push_back({"MissingEndByte",
                     good.substr(0, good.size() - 1),
                     {"byte " + std::to_string(good.size() - 1) +
                      ": the end byte 0x1A is missing after the last row"}});

    cases.push_back({"DoubledEndByte",
                     good + "\x1A",
                     {"byte " + std::to_string(good.size() - 1) +
                      ": the end byte 0x1A is there 2 times instead of once"}});

    cases.push_back({"BadNumber",
                     WithRow(1, RowBytes(kColumns, ' ', {"nut", "12a", "", ""})),
                     {At(1, 11) + ": column \"QTY\": \"12a\" is not a number"}});

    cases.push_back({"BadFloat",
                     WithRow(2, RowBytes(kColumns, ' ', {"washer", "", "", "1,25"})),
                     {At(2, 24) + ": column \"PRICE\": \"1,25\" is not a number"}});

    cases.push_back({"ImpossibleMonth",
                     WithRow(0, RowBytes(kColumns, ' ', {"bolt", "", "20241301", ""})),
                     {At(0, 16) + ": column \"WHEN\": \"20241301\" is not a date"}});

    cases.push_back({"ImpossibleDay",
                     WithRow(2, RowBytes(kColumns, ' ', {"washer", "", "20240230", ""})),
                     {At(2, 16) + ": column \"WHEN\": \"20240230\" is not a date"}});

    cases.push_back({"BadDeletionFlag",
                     WithRow(1, RowBytes(kColumns, 'X', {"nut"})),
                     {At(1, 0) + ": deletion flag 0x58 is neither blank nor '*'"}});

    cases.push_back({"EndByteInsideRows",
                     WithRow(1, RowBytes(kColumns, '\x1A', {"nut"})),
                     {At(1, 0) + ": the end byte 0x1A stands where this row begins"}});

    std::string noTerminator = good;
    noTerminator[kHeaderLength - 1] = ' ';
    cases.push_back({"NoDescriptorTerminator",
                     noTerminator,
                     {"byte 160: no 0x0D descriptor terminator before the rows begin at "
                      "offset 161"}});
    return cases;
}

class CheckFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(CheckFaultTest, FindsThePlantedFault) {
    const FaultCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.Of("t.dbf");
    WriteFile(path, c.bytes);
    const RunResult r = RunTool(dir, {"check", path});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    for (const std::string& want : c.expected) {
        EXPECT_NE(r.out.find(path + ": " + want), std::string::npos)
            << "want: " << want << "\ngot:\n"
            << r.out;
    }
    EXPECT_EQ(r.out.find("clean"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Faults, CheckFaultTest, ::testing::ValuesIn(FaultCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CheckTest, CleanTablesAreReportedClean) {
    ScratchDir dir;
    const std::string table = dir.Of("t.dbf");
    const std::string empty = dir.Of("new.dbf");
    const std::string alarms = dir.Of("alarms.dbf");
    WriteFile(table, TableBytes(kColumns, GoodRows()));
    std::string created = TableBytes(kColumns, {});
    created.pop_back();  // a table created and never appended to has no end byte
    WriteFile(empty, created);
    ASSERT_EQ(RunTool(dir, {"sample", "--kind", "alarm", "--version", "2", "--rows", "300", alarms})
                  .status,
              0);
    const RunResult r = RunTool(dir, {"check", table, empty, alarms});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, table + ": clean (3 rows)\n" + empty + ": clean (0 rows)\n" + alarms +
                         ": clean (300 rows)\n");
}

TEST(CheckTest, DetailsAreCappedButEveryProblemIsCounted) {
    ScratchDir dir;
    const std::string path = dir.Of("t.dbf");
    std::vector<std::string> rows(6, RowBytes(kColumns, ' ', {"x", "abc"}));
    WriteFile(path, TableBytes(kColumns, rows));
    const RunResult r = RunTool(dir, {"check", "--max-problems", "2", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.out).size(), 4u) << r.out;
    EXPECT_NE(r.out.find(path + ": ... and 4 more problems\n" + path + ": 6 problems\n"),
              std::string::npos)
        << r.out;
}

}  // namespace
}  // namespace qvtool_test
