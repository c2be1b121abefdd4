// Independent dBASE implementations as peers: tables the engine writes must read the same in
// python3-dbfread and shapelib's dbfdump, and tables shapelib's tools write must open here with
// the generic schema and give the column texts dbfdump prints. Each test skips when its tool is
// not installed (scripts/deps installs them).
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "dbf/DbfTestUtil.h"

#ifndef QUORVEL_TEST_PYTHON
#define QUORVEL_TEST_PYTHON "/usr/bin/python3"
#endif

namespace {

using namespace qvtest;

// Runs a shell command; returns its exit status and its standard output in *pOut.
int RunCommand(const std::string& cmd, std::string* pOut = nullptr) {
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        out.append(buf, n);
    }
    const int status = pclose(pipe);
    if (pOut != nullptr) {
        *pOut = out;
    }
    return status;
}

bool HaveCommand(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null 2>&1") == 0;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) {
        return "";
    }
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

struct DumpField {
    char chType;
    std::string name;
    int nWidth;
    int nDecimals;
};

// What `dbfdump -h -m -r` prints: the field lines of the header and, per record, the trimmed
// text of each field.
struct Dump {
    std::vector<DumpField> fields;
    std::vector<std::map<std::string, std::string>> records;
};

bool ParseDump(const std::string& text, Dump* pDump) {
    for (const std::string& line : Lines(text)) {
        char type = 0;
        char title[64] = {};
        int width = 0;
        int decimals = 0;
        if (std::sscanf(line.c_str(),
                        "Field %*d: Type=%c/%*[^,], Title=`%63[^']', Width=%d, Decimals=%d", &type,
                        title, &width, &decimals) == 4) {
            pDump->fields.push_back({type, title, width, decimals});
        } else if (line.rfind("Record:", 0) == 0) {
            pDump->records.emplace_back();
        } else if (!pDump->records.empty()) {
            const size_t colon = line.find(": ");
            if (colon != std::string::npos) {
                pDump->records.back()[line.substr(0, colon)] = Trim(line.substr(colon + 2));
            }
        }
    }
    return !pDump->fields.empty();
}

class PeerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()); }

    ScopedTimeZone m_tz{kTestTimeZone};
    ScopedEnv m_lcAll{"LC_ALL", "C"};
    TempDir m_dir{"qvpeer"};
};

// All five column types; the values in rows as the engine writes them.
const std::vector<ColumnSpec> kAllTypes = {{"NAME", 'C', 12, 0},
                                           {"COUNT", 'N', 7, 0},
                                           {"DAY", 'D', 8, 0},
                                           {"VALUE", 'F', 10, 3},
                                           {"FLAG", 'L', 1, 0}};

struct PeerRow {
    const char* pszName;
    LONG nCount;
    TIME32 tDay;  // local midnight in kTestTimeZone
    double dValue;
    int32_t bFlag;
    // The values as dbfread gives them (repr of its Python values) and as dbfdump prints them.
    const char* pszPyCount;
    const char* pszDay;
    const char* pszPyValue;
    const char* pszDumpValue;
};

const PeerRow kPeerRows[] = {
    {"Alpha", 42, 1706655600, 3.25, 1, "42", "20240131", "3.25", "3.250"},
    {"", -7, 1720994400, -1234.5, 0, "-7", "20240715", "-1234.5", "-1234.500"},
    {"Zeta long!", 0, 946681200, 0.001, 1, "0", "20000101", "0.001", "0.001"},
};

void WriteAllTypesTable(const std::string& path) {
    ZDbfFile file(path.c_str(), new TestSchema(kAllTypes));
    ASSERT_TRUE(file.CreateTable(0, 8, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr));
    for (const PeerRow& row : kPeerRows) {
        TestRecord r;
        r.SetText(0, row.pszName);
        r.Set<LONG>(1, row.nCount);
        r.Set<TIME32>(2, row.tDay);
        r.Set<double>(3, row.dValue);
        r.Set<int32_t>(4, row.bFlag);
        ASSERT_TRUE(file.AppendRecord(&r));
    }
    ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
}

const char kDbfreadScript[] = R"(import sys
from dbfread import DBF
t = DBF(sys.argv[1], load=True)
print("COUNT|%d|%d" % (t.header.numrecords, len(t.records)))
for f in t.fields:
    print("FIELD|%s|%s|%d|%d" % (f.name, f.type, f.length, f.decimal_count))
for r in t.records:
    cells = []
    for f in t.fields:
        v = r[f.name]
        if isinstance(v, bool):
            cells.append("T" if v else "F")
        elif hasattr(v, "strftime"):
            cells.append(v.strftime("%Y%m%d"))
        elif isinstance(v, str):
            cells.append(v)
        else:
            cells.append(repr(v))
    print("ROW|" + "|".join(cells))
)";

TEST_F(PeerTest, DbfreadReadsWhatTheEngineWrites) {
    if (RunCommand(std::string(QUORVEL_TEST_PYTHON) + " -c 'import dbfread' >/dev/null 2>&1") !=
        0) {
        GTEST_SKIP() << QUORVEL_TEST_PYTHON << " cannot import dbfread (Debian package "
                     << "python3-dbfread)";
    }
    const std::string table = m_dir.PathOf("types.dbf");
    WriteAllTypesTable(table);
    const std::string script = m_dir.PathOf("read.py");
    ASSERT_TRUE(
        WriteFileBytes(script, Bytes(kDbfreadScript, kDbfreadScript + sizeof kDbfreadScript - 1)));

    std::string out;
    ASSERT_EQ(RunCommand(std::string(QUORVEL_TEST_PYTHON) + " " + Quote(script) + " " +
                             Quote(table) + " 2>&1",
                         &out),
              0)
        << out;
    std::vector<std::string> expected = {"COUNT|3|3"};
    for (const ColumnSpec& c : kAllTypes) {
        expected.push_back("FIELD|" + std::string(c.pszName) + "|" + c.chType + "|" +
                           std::to_string(c.nWidth) + "|" + std::to_string(c.nDecimals));
    }
    for (const PeerRow& row : kPeerRows) {
        expected.push_back(std::string("ROW|") + row.pszName + "|" + row.pszPyCount + "|" +
                           row.pszDay + "|" + row.pszPyValue + "|" + (row.bFlag ? "T" : "F"));
    }
    EXPECT_EQ(Lines(out), expected);
}

TEST_F(PeerTest, DbfdumpReadsWhatTheEngineWrites) {
    if (!HaveCommand("dbfdump")) {
        GTEST_SKIP() << "dbfdump not found (Debian package shapelib)";
    }
    const std::string table = m_dir.PathOf("types.dbf");
    WriteAllTypesTable(table);

    std::string out;
    ASSERT_EQ(RunCommand("dbfdump -h -m -r " + Quote(table) + " 2>&1", &out), 0) << out;
    Dump dump;
    ASSERT_TRUE(ParseDump(out, &dump)) << out;
    ASSERT_EQ(dump.fields.size(), kAllTypes.size()) << out;
    for (size_t i = 0; i < kAllTypes.size(); ++i) {
        EXPECT_EQ(dump.fields[i].name, kAllTypes[i].pszName);
        EXPECT_EQ(dump.fields[i].chType, kAllTypes[i].chType) << dump.fields[i].name;
        EXPECT_EQ(dump.fields[i].nWidth, kAllTypes[i].nWidth) << dump.fields[i].name;
        EXPECT_EQ(dump.fields[i].nDecimals, kAllTypes[i].nDecimals) << dump.fields[i].name;
    }
    ASSERT_EQ(dump.records.size(), std::size(kPeerRows)) << out;
    for (size_t i = 0; i < std::size(kPeerRows); ++i) {
        const PeerRow& row = kPeerRows[i];
        std::map<std::string, std::string>& rec = dump.records[i];
        EXPECT_EQ(rec["NAME"], row.pszName);
        EXPECT_EQ(rec["COUNT"], row.pszPyCount);
        EXPECT_EQ(rec["DAY"], row.pszDay);
        EXPECT_EQ(rec["VALUE"], row.pszDumpValue);
        EXPECT_EQ(rec["FLAG"], row.bFlag ? "T" : "F");
    }
}

// A table written by shapelib's tools opens with the generic schema; each column's text, taken
// at the offsets the accepted fields give, is what dbfdump prints.
TEST_F(PeerTest, ShapelibTableOpensWithGenericSchema) {
    if (!HaveCommand("dbfcreate") || !HaveCommand("dbfadd") || !HaveCommand("dbfdump")) {
        GTEST_SKIP() << "dbfcreate, dbfadd or dbfdump not found (Debian package shapelib)";
    }
    const std::string table = m_dir.PathOf("shape.dbf");
    const std::string t = Quote(table);
    std::string out;
    ASSERT_EQ(RunCommand("dbfcreate " + t + " -s NAME 12 -n VAL 9 3 -n CNT 6 0 2>&1", &out), 0)
        << out;
    for (const char* values : {"'abc def' 3.25 42", "'' -1.5 -7", "'x' 123456.789 999999"}) {
        ASSERT_EQ(RunCommand("dbfadd " + t + " " + values + " 2>&1", &out), 0) << out;
    }
    ASSERT_EQ(RunCommand("dbfdump -h -m -r " + t + " 2>&1", &out), 0) << out;
    Dump dump;
    ASSERT_TRUE(ParseDump(out, &dump)) << out;

    ZDbfFile file(table.c_str(), new ZDbfSchema);
    ASSERT_TRUE(file.OpenTable(-1, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    ZDbfSchema* schema = file.GetSchema();
    ASSERT_EQ(schema->GetNumOfFields(), dump.fields.size());
    EXPECT_EQ(file.GetNumOfRecords(), 3);
    EXPECT_EQ(file.GetRecordLength(), schema->GetRecordLength());
    for (size_t i = 0; i < dump.fields.size(); ++i) {
        const ZDbfField* f = schema->GetField(static_cast<int>(i));
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(std::string(f->GetName()), dump.fields[i].name);
        EXPECT_EQ(f->GetType(), dump.fields[i].chType);
        EXPECT_EQ(f->GetWidth(), dump.fields[i].nWidth);
        EXPECT_EQ(f->GetDecimals(), dump.fields[i].nDecimals);
    }
    EXPECT_TRUE(schema->GetField(0)->IsKindOf(RUNTIME_CLASS(DbfStringField)));
    EXPECT_TRUE(schema->GetField(2)->IsKindOf(RUNTIME_CLASS(DbfNumericField)));

    ASSERT_TRUE(file.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    ZDbfRecordBuffer* buf = file.GetReadBuffer();
    ASSERT_EQ(buf->GetCount(), 3);
    ASSERT_EQ(dump.records.size(), 3u);
    for (LONG row = 0; row < 3; ++row) {
        const unsigned char* cursor = buf->GetRecordPtr(row) + 1;
        for (size_t i = 0; i < dump.fields.size(); ++i) {
            const ZDbfField* f = schema->GetField(static_cast<int>(i));
            const std::string text(reinterpret_cast<const char*>(cursor), f->GetWidth());
            EXPECT_EQ(Trim(text), dump.records[static_cast<size_t>(row)][dump.fields[i].name])
                << "row " << row << " column " << dump.fields[i].name;
            cursor += f->GetWidth();
        }
    }

    // The accepted fields convert the shapelib columns as well.
    TestRecord r;
    unsigned char* cursor = buf->GetRecordPtr(2) + 1;
    for (int i = 0; i < 3; ++i) {
        schema->GetField(i)->ReadFromBuffer(cursor, r.Cell(i));
    }
    EXPECT_EQ(r.Text(0), "x");
    EXPECT_EQ(r.Get<LONG>(1), 123456);  // a numeric column drops the fraction
    EXPECT_EQ(r.Get<LONG>(2), 999999);
}

}  // namespace
