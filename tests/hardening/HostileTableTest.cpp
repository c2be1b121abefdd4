// Tables that reach a host damaged: cut short, with lying lengths and counts, strange column
// types and widths, very many columns or rows, and rows beyond 2 GiB. For each, what OpenTable
// answers, what the buffers then hold, which rows can be read and what their values are, through
// the generic schema and, where a log table can be damaged the same way, through the log readers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <climits>
#include <functional>

#include "HardeningUtil.h"

namespace {

using qvhard::Bytes;
using qvhard::Cell;
using qvhard::TableImage;

// Three columns, 24-byte rows, two rows: the table most cases below damage.
TableImage BaseImage() {
    TableImage t;
    t.Column("NAME", 'C', 10).Column("COUNT", 'N', 5).Column("DAY", 'D', 8);
    t.Row({"Pump 7", "   42", "20240315"}).Row({"Valve", "   -7", "20231231"});
    return t;
}

Bytes Base() {
    return BaseImage().Build();
}

Bytes Cut(Bytes b, size_t n) {
    b.resize(n);
    return b;
}

Bytes With16(Bytes b, size_t off, unsigned v) {
    qvhard::Put16(b, off, v);
    return b;
}

Bytes With8(Bytes b, size_t off, unsigned char v) {
    b.at(off) = v;
    return b;
}

Bytes With32(Bytes b, size_t off, uint32_t v) {
    qvhard::Put32(b, off, v);
    return b;
}

Bytes ManyColumns(int n) {
    TableImage t;
    for (int i = 0; i < n; ++i) {
        t.Column("C" + std::to_string(i), 'C', 1);
    }
    std::vector<std::string> row;
    for (int i = 0; i < n; ++i) {
        row.push_back(std::string(1, static_cast<char>('a' + i % 26)));
    }
    return t.Row(row).Build();
}

// n rows of record length 1 (no column) or 2 (one logical column).
Bytes ManyRows(int nRecLen, int nRows) {
    TableImage t;
    if (nRecLen == 2) {
        t.Column("FLAG", 'L', 1);
    }
    Bytes b = t.Build(false);
    qvhard::Put32(b, 4, static_cast<uint32_t>(nRows));
    b.resize(b.size() + static_cast<size_t>(nRows) * nRecLen, 'T');
    return b;
}

struct OpenCase {
    const char* name;
    std::function<Bytes()> make;
    BOOL opens;
    int nFields;       // accepted fields, when it opens
    LONG nRowsAtZero;  // rows a default-size block holds from row 0, when it opens
};

const OpenCase kOpenCases[] = {
    {"Intact", Base, TRUE, 3, 2},
    {"EmptyFile", [] { return Bytes(); }, FALSE, 0, 0},
    {"HeaderOf31Bytes", [] { return Cut(Base(), 31); }, FALSE, 0, 0},
    {"HeaderAloneNoDescriptors", [] { return Cut(Base(), 32); }, FALSE, 0, 0},
    {"CutInsideADescriptor", [] { return Cut(Base(), 32 + 20); }, FALSE, 0, 0},
    {"DescriptorsWithoutTerminator", [] { return Cut(Base(), 32 + 3 * 32); }, FALSE, 0, 0},
    {"TerminatorReplaced",
     [] {
         Bytes b = Base();
         b[128] = ' ';  // the scan reads the rows as descriptors and refuses their type
         return b;
     },
     FALSE, 0, 0},
    {"RecordLength0", [] { return With16(Base(), 10, 0); }, FALSE, 0, 0},
    {"RecordLengthShorterThanColumns", [] { return With16(Base(), 10, 23); }, FALSE, 0, 0},
    {"RecordLengthLongerThanColumns", [] { return With16(Base(), 10, 25); }, TRUE, 3, 1},
    {"HeaderLengthPastEndOfFile", [] { return With16(Base(), 8, 60000); }, TRUE, 3, 0},
    {"HeaderLengthBeyondTerminator",
     [] {
         // Rows found at the header length, 7 unread bytes after the terminator.
         Bytes b = With16(Base(), 8, 129 + 7);
         b.insert(b.begin() + 129, 7, 0);
         return b;
     },
     TRUE, 3, 2},
    {"TypeLetter0x80", [] { return With8(Base(), 32 + 32 + 11, 0x80); }, FALSE, 0, 0},
    {"TypeLetter0xC3", [] { return With8(Base(), 32 + 11, 0xC3); }, FALSE, 0, 0},
    {"TypeLetter0xFF", [] { return With8(Base(), 32 + 64 + 11, 0xFF); }, FALSE, 0, 0},
    {"TypeLetterMemo", [] { return With8(Base(), 32 + 11, 'M'); }, FALSE, 0, 0},
    {"CutInsideFirstRow", [] { return Cut(Base(), 129 + 10); }, TRUE, 3, 0},
    {"CutInsideSecondRow", [] { return Cut(Base(), 129 + 24 + 23); }, TRUE, 3, 1},
    {"EndByteMissing", [] { return Cut(Base(), 129 + 48); }, TRUE, 3, 2},
    {"EndByteDoubled",
     [] {
         Bytes b = Base();
         b.push_back(0x1A);
         return b;
     },
     TRUE, 3, 2},
    {"CountLargerThanRows", [] { return With32(Base(), 4, 1000); }, TRUE, 3, 2},
    {"CountSmallerThanRows", [] { return With32(Base(), 4, 0); }, TRUE, 3, 2},
    {"CountNegative", [] { return With32(Base(), 4, 0xFFFFFFFFu); }, TRUE, 3, 2},
    {"Columns2046", [] { return ManyColumns(2046); }, TRUE, 2046, 1},
    {"Columns2047", [] { return ManyColumns(2047); }, FALSE, 0, 0},
    // A block of the default size holds 65482 rows of one byte: more than a 16-bit count holds.
    {"RecordLength1Rows70000", [] { return ManyRows(1, 70000); }, TRUE, 0, 65482},
    {"RecordLength2Rows40000", [] { return ManyRows(2, 40000); }, TRUE, 1, 32741},
};

class HostileOpenTest : public ::testing::TestWithParam<OpenCase> {
  protected:
    qvhard::TempDir m_dir;
};

TEST_P(HostileOpenTest, OpensRefusesAndReadsWholeRowsOnly) {
    const OpenCase& c = GetParam();
    ASSERT_TRUE(m_dir.Ok());
    const std::string path = m_dir.PathOf("t.dbf");
    qvhard::WriteBytes(path, c.make());

    ZDbfFile table(path.c_str(), new ZDbfSchema);
    BOOL opened = FALSE;
    ASSERT_NO_THROW(opened = table.OpenTable(-1, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    ASSERT_EQ(opened, c.opens);
    EXPECT_FALSE(table.IsOpen());
    EXPECT_EQ(table.GetWriteBuffer(), nullptr);
    if (!c.opens) {
        EXPECT_EQ(table.GetReadBuffer(), nullptr);
        EXPECT_FALSE(table.LoadReadBuffer(0, ZDbfFile::kOpenRead));
        return;
    }
    EXPECT_EQ(table.GetSchema()->GetNumOfFields(), c.nFields);
    ASSERT_NE(table.GetReadBuffer(), nullptr);
    ASSERT_TRUE(table.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    EXPECT_EQ(table.GetReadBuffer()->GetCount(), c.nRowsAtZero);
    EXPECT_EQ(table.GetReadBuffer()->GetFirst(), 0);
    for (LONG i = 0; i < table.GetReadBuffer()->GetCount(); i += 997) {
        bool guardOk = false;
        qvhard::ReadCells(table, i, &guardOk);
        EXPECT_TRUE(guardOk) << "row " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileOpenTest, ::testing::ValuesIn(kOpenCases),
                         [](const auto& info) { return std::string(info.param.name); });

class HostileTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Ok());
        m_path = m_dir.PathOf("t.dbf");
    }

    // Writes the image and opens it with the generic schema and a default-size read buffer
    // filled from row 0.
    std::unique_ptr<ZDbfFile> Open(const Bytes& image) {
        qvhard::WriteBytes(m_path, image);
        auto table = std::make_unique<ZDbfFile>(m_path.c_str(), new ZDbfSchema);
        EXPECT_TRUE(table->OpenTable(-1, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
        EXPECT_TRUE(table->LoadReadBuffer(0, ZDbfFile::kOpenRead));
        return table;
    }

    qvhard::TempDir m_dir;
    std::string m_path;
};

// Rows are counted from the file's length, so the rows of a table whose count lies, or that
// another process appended to, can all be read; past them a fill holds nothing.
TEST_F(HostileTableTest, FillsPastTheLastWholeRowHoldNothing) {
    auto table = Open(With32(Base(), 4, 1000));
    for (LONG row : {LONG{2}, LONG{3}, LONG{999}, LONG{INT_MAX}}) {
        EXPECT_TRUE(table->LoadReadBuffer(row, ZDbfFile::kOpenRead));
        EXPECT_EQ(table->GetReadBuffer()->GetCount(), 0) << row;
        EXPECT_EQ(table->GetReadBuffer()->GetFirst(), row);
    }
    ASSERT_TRUE(table->LoadReadBuffer(1, ZDbfFile::kOpenRead));
    ASSERT_EQ(table->GetReadBuffer()->GetCount(), 1);
    EXPECT_EQ(qvhard::ReadCells(*table, 0)[0].text, "Valve");
}

// The second block of the 70000 one-byte rows: the count is a 32-bit number throughout.
TEST_F(HostileTableTest, BlocksOfMoreThan32767RowsCountRight) {
    auto table = Open(ManyRows(1, 70000));
    ASSERT_EQ(table->GetReadBuffer()->GetCapacity(), 65482);
    ASSERT_TRUE(table->LoadReadBuffer(65482, ZDbfFile::kOpenRead));
    EXPECT_EQ(table->GetReadBuffer()->GetCount(), 70000 - 65482);
    EXPECT_EQ(table->GetReadBuffer()->GetFirst(), 65482);
}

TEST_F(HostileTableTest, EmptyAndBrokenDatesReadAs0) {
    TableImage t;
    t.Column("DAY", 'D', 8);
    for (const char* text : {"00000000", "        ", "abcdefgh", "2024xx01", "0000", "20240315"}) {
        t.Row({text});
    }
    auto table = Open(t.Build());
    ASSERT_EQ(table->GetReadBuffer()->GetCount(), 6);
    for (LONG i = 0; i < 5; ++i) {
        EXPECT_EQ(qvhard::ReadCells(*table, i)[0].number, 0) << "row " << i;
    }
    EXPECT_EQ(qvhard::ReadCells(*table, 5)[0].number, qvhard::LocalMidnight(2024, 3, 15));
}

TEST_F(HostileTableTest, StarredFloatsReadAsTheLargestDouble) {
    TableImage t;
    t.Column("VALUE", 'F', 12, 3);
    t.Row({"************"}).Row({"      1.5*  "}).Row({"*"}).Row({"      -2.250"});
    auto table = Open(t.Build());
    ASSERT_EQ(table->GetReadBuffer()->GetCount(), 4);
    EXPECT_EQ(qvhard::ReadCells(*table, 0)[0].real, DBL_MAX);
    EXPECT_EQ(qvhard::ReadCells(*table, 1)[0].real, DBL_MAX);
    EXPECT_EQ(qvhard::ReadCells(*table, 2)[0].real, DBL_MAX);
    EXPECT_EQ(qvhard::ReadCells(*table, 3)[0].real, -2.25);
}

// A column of each type with width 0 and with width 255, each followed by a 3-byte marker
// column: the conversions stay inside their columns, whatever the type's usual width.
TEST_F(HostileTableTest, Width0And255ColumnsOfEveryTypeStayInsideTheirColumns) {
    struct WidthCase {
        unsigned char type;
        std::string text255;
        Cell expected0;
        Cell expected255;
    };
    const std::string longText(255, 'x');
    const WidthCase cases[] = {
        {'C', longText, {'C', "", 0, 0}, {'C', longText, 0, 0}},
        {'D', "20240315", {'D', "", 0, 0}, {'D', "", qvhard::LocalMidnight(2024, 3, 15), 0}},
        {'F', std::string(250, ' ') + "-2.25", {'F', "", 0, 0}, {'F', "", 0, -2.25}},
        {'L', "T", {'L', "", 0, 0}, {'L', "", 1, 0}},
        {'N', std::string(252, ' ') + "-42", {'N', "", 0, 0}, {'N', "", -42, 0}},
    };
    for (const WidthCase& c : cases) {
        SCOPED_TRACE(std::string(1, static_cast<char>(c.type)));
        TableImage t;
        t.Column("ZERO", c.type, 0).Column("M1", 'C', 3).Column("WIDE", c.type, 255);
        t.Column("M2", 'C', 3);
        t.Row({"", "AAA", c.text255, "BBB"});
        auto table = Open(t.Build());
        ASSERT_EQ(table->GetReadBuffer()->GetCount(), 1);
        bool guardOk = false;
        std::vector<Cell> cells = qvhard::ReadCells(*table, 0, &guardOk);
        ASSERT_EQ(cells.size(), 4u);
        EXPECT_TRUE(guardOk);
        EXPECT_EQ(cells[1].text, "AAA");
        EXPECT_EQ(cells[3].text, "BBB");
        for (int k : {0, 2}) {
            const Cell& want = k == 0 ? c.expected0 : c.expected255;
            EXPECT_EQ(cells[k].text, want.text) << k;
            EXPECT_EQ(cells[k].number, want.number) << k;
            EXPECT_EQ(cells[k].real, want.real) << k;
        }
    }
}

// Dates of another width than 8 and logicals of another width than 1 convert within their
// width, and the next column is found where the descriptors put it.
TEST_F(HostileTableTest, DateAndLogicalOfOddWidthsStayInsideTheirColumns) {
    TableImage t;
    t.Column("D3", 'D', 3).Column("D12", 'D', 12).Column("L5", 'L', 5).Column("END", 'C', 3);
    t.Row({"202", "20240315    ", "t    ", "END"});
    auto table = Open(t.Build());
    bool guardOk = false;
    std::vector<Cell> cells = qvhard::ReadCells(*table, 0, &guardOk);
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_TRUE(guardOk);
    EXPECT_EQ(cells[0].number, 0);
    EXPECT_EQ(cells[1].number, qvhard::LocalMidnight(2024, 3, 15));
    EXPECT_EQ(cells[2].number, 1);
    EXPECT_EQ(cells[3].text, "END");
}

// A host passes no member (null) for a value of no bytes: a raw column of width 0, or a bounded
// conversion into a member of size 0. Nothing is read or written through it.
TEST(HostileFieldTest, MembersOfNoBytesMayBeNull) {
    unsigned char row[4] = {'a', 'b', 'c', 'd'};
    for (int bText : {0, 1}) {
        DbfStringField field("EMPTY", 0, bText);
        unsigned char* cursor = row;
        if (bText == 0) {
            field.WriteToBuffer(cursor, nullptr);
            field.ReadFromBuffer(cursor, nullptr);
        }
        field.WriteToBufferBounded(cursor, nullptr, 0);
        field.ReadFromBufferBounded(cursor, nullptr, 0);
        EXPECT_EQ(cursor, row);
    }
    DbfStringField wide("WIDE", 4, 0);
    unsigned char* cursor = row;
    wide.WriteToBufferBounded(cursor, nullptr, 0);  // the column becomes blanks
    EXPECT_EQ(cursor, row + 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(row), 4), "    ");
    cursor = row;
    wide.ReadFromBufferBounded(cursor, nullptr, 0);
    EXPECT_EQ(cursor, row + 4);
}

// A float column takes any text length: 255 digits read as a finite number, and a value whose
// text is longer than the largest column is stored as stars and read back as the largest double.
TEST_F(HostileTableTest, FloatTextOfAnyLength) {
    TableImage t;
    t.Column("F", 'F', 255, 0);
    t.Row({std::string(255, '1')});
    auto table = Open(t.Build());
    const double v = qvhard::ReadCells(*table, 0)[0].real;
    EXPECT_TRUE(v > 1.1e254 && v < 1.2e254) << v;

    DbfFloatField field("F", 255, 255);
    field.m_szDecimalSep[0] = '.';
    unsigned char column[255 + 8];
    std::memset(column, 0x5A, sizeof column);
    for (double value : {DBL_MAX, -DBL_MAX}) {
        unsigned char* cursor = column;
        field.WriteToBuffer(cursor, &value);
        EXPECT_EQ(cursor, column + 255);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(column), 255), std::string(255, '*'));
        EXPECT_EQ(column[255], 0x5A);
        double back = 0;
        cursor = column;
        field.ReadFromBuffer(cursor, &back);
        EXPECT_EQ(back, DBL_MAX);
    }
}

// Read buffers whose size cannot be had raise CMemoryException; the table stays as it was.
TEST_F(HostileTableTest, ImpossibleBufferSizesRaiseMemoryException) {
    qvhard::WriteBytes(m_path, Base());
    ZDbfFile table(m_path.c_str(), new ZDbfSchema);
    for (LONG nCapacity : {LONG{INT_MAX}, LONG{0x7FFFFFFF / 24 + 1}, LONG{-2}}) {
        bool raised = false;
        try {
            table.OpenTable(nCapacity, 0, ZDbfFile::kOpenRead, nullptr, nullptr);
        } catch (CMemoryException* e) {
            e->Delete();
            raised = true;
        }
        EXPECT_TRUE(raised) << nCapacity;
        EXPECT_EQ(table.GetReadBuffer(), nullptr);
        EXPECT_FALSE(table.IsOpen());
    }
}

// Opening one object's table again rebuilds its fields and buffers; the sanitizer build checks
// that nothing of the first open leaks.
TEST_F(HostileTableTest, OpeningTwiceReplacesFieldsAndBuffers) {
    auto table = Open(Base());
    ZDbfRecordBuffer* first = table->GetReadBuffer();
    ASSERT_TRUE(table->OpenTable(7, 2, ZDbfFile::kOpenRead, nullptr, nullptr));
    EXPECT_EQ(table->GetSchema()->GetNumOfFields(), 3);
    EXPECT_EQ(table->GetSchema()->GetSize(), 3);
    EXPECT_NE(table->GetReadBuffer(), first);
    EXPECT_EQ(table->GetReadBuffer()->GetCapacity(), 7);
    // A refused table afterwards leaves no rows of the earlier one to convert.
    qvhard::WriteBytes(m_path, With16(Base(), 10, 0));
    EXPECT_FALSE(table->OpenTable(7, 2, ZDbfFile::kOpenRead, nullptr, nullptr));
    EXPECT_EQ(table->GetReadBuffer(), nullptr);
}

TEST_F(HostileTableTest, MissingSchemaOrBuffersGiveFalse) {
    qvhard::WriteBytes(m_path, Base());
    ZDbfFile bare(m_path.c_str(), nullptr);
    EXPECT_FALSE(bare.OpenTable(1, 1, ZDbfFile::kOpenRead, nullptr, nullptr));
    EXPECT_FALSE(
        bare.CreateTable(1, 1, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr));
    EXPECT_EQ(qvhard::ReadBytes(m_path), Base());  // not even truncated
    EXPECT_FALSE(bare.AppendRecord(nullptr));
    EXPECT_FALSE(bare.IsWriteBufferFull());
    EXPECT_FALSE(bare.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    EXPECT_FALSE(bare.FillReadBuffer(0));
    // No read buffer: FALSE before the path is even opened.
    ZDbfFile missing(m_dir.PathOf("absent.dbf").c_str(), new ZDbfSchema);
    EXPECT_FALSE(missing.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    EXPECT_EQ(missing.SetWriteBuffer(nullptr), nullptr);
    EXPECT_EQ(missing.GetTotalRecords(), 0);

    LgaDbfFile reader(m_path.c_str(), nullptr);
    ALMEVENT record;
    EXPECT_EQ(reader.ReadRecord(0, &record), 0);
    reader.CheckSchemaVer();
    EXPECT_EQ(reader.GetSchemaVer(), LGA_SCHEMA_VER_NONE);
    LgeDbfFile unopened(m_path.c_str(), new LgeSchema);
    LOGEVENT2 event;
    EXPECT_EQ(unopened.ReadRecord(0, &event), 0);
    EXPECT_EQ(unopened.ReadRecord(0, nullptr), 0);
}

// Row positions are 64-bit: rows of a sparse table past 2^31 and 2^32 bytes are read and
// appended where they belong.
TEST_F(HostileTableTest, RowsPast2GiBAreReadAndAppendedInPlace) {
    TableImage t;
    t.Column("NAME", 'C', 99).Column("N", 'N', 10);
    Bytes image = t.Build(false);
    const LONG kRowA = 20000000;  // at 2.2e9 bytes
    const LONG kRowB = 40000000;  // at 4.4e9 bytes
    qvhard::Put32(image, 4, static_cast<uint32_t>(kRowB + 1));
    qvhard::WriteBytes(m_path, image);
    const long long hdrLen = static_cast<long long>(image.size());
    const int fd = ::open(m_path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    for (LONG row : {kRowA, kRowB}) {
        std::string text = " row " + std::to_string(row);
        text.resize(100, ' ');
        text += "  " + std::to_string(row);
        ASSERT_EQ(::pwrite(fd, text.data(), text.size(), hdrLen + 110LL * row), 110);
    }
    ::close(fd);

    ZDbfFile table(m_path.c_str(), new ZDbfSchema);
    ASSERT_TRUE(table.OpenTable(1, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    for (LONG row : {kRowA, kRowB}) {
        ASSERT_TRUE(table.LoadReadBuffer(row, ZDbfFile::kOpenRead));
        ASSERT_EQ(table.GetReadBuffer()->GetCount(), 1);
        std::vector<Cell> cells = qvhard::ReadCells(table, 0);
        EXPECT_EQ(cells[0].text, "row " + std::to_string(row));
        EXPECT_EQ(cells[1].number, row);
    }
    // A row between them is a hole of zeros: a whole row, blank values.
    ASSERT_TRUE(table.LoadReadBuffer(kRowA + 1, ZDbfFile::kOpenRead));
    EXPECT_EQ(table.GetReadBuffer()->GetCount(), 1);

    // Appending writes at the record count, 4.4e9 bytes in.
    class ZRowSchema : public ZDbfSchema {
        void WriteToBuffer(unsigned char*& cursor, void*) override {
            std::memset(cursor, 'z', 110);
            cursor += 110;
        }
    };
    ZDbfFile writer(m_path.c_str(), new ZRowSchema);
    ASSERT_TRUE(writer.OpenTable(0, 1, ZDbfFile::kOpenRead, nullptr, nullptr));
    ASSERT_TRUE(writer.AppendRecord(nullptr));
    ASSERT_TRUE(writer.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    const long long end = hdrLen + 110LL * (kRowB + 2);
    EXPECT_EQ(std::filesystem::file_size(m_path), static_cast<uintmax_t>(end + 1));
    unsigned char tail[111];
    const int rfd = ::open(m_path.c_str(), O_RDONLY);
    ASSERT_GE(rfd, 0);
    ASSERT_EQ(::pread(rfd, tail, sizeof tail, end - 110), 111);
    ::close(rfd);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(tail), 110), std::string(110, 'z'));
    EXPECT_EQ(tail[110], 0x1A);
}

// --- Through the log readers -----------------------------------------------------------------

// An alarm table of layout version 1 in the current widths, two rows, as another program
// (a current-layout writer) leaves it.
TableImage AlarmImage(unsigned char timeWidth = 8) {
    TableImage t;
    t.Column("Date", 'D', 8).Column("Time", 'C', timeWidth).Column("Militime", 'N', 5);
    t.Column("TransType", 'C', 5).Column("TagName", 'C', 255).Column("TagValue", 'F', 20, 10);
    t.Column("TagType", 'C', 1).Column("ThreshVal", 'F', 20, 10).Column("ThreshNum", 'N', 1);
    t.Column("ThreshLabl", 'C', 20).Column("Severity", 'N', 1).Column("DstFlag", 'C', 1);
    t.Column("UserId", 'C', 8).Column("AlarmType", 'N', 1).Column("Dscription", 'C', 254);
    const std::string tag = "Plant.Area4.Boiler1.Pressure.HighHigh.Setpoint.Value.Long";
    for (int r = 0; r < 2; ++r) {
        t.Row({"20240315", std::string(timeWidth, r ? '9' : '1'), "  250", "ALM", tag,
               "        3.2500000000", "A", "        3.0000000000", "2", "HIHI", "3", "1",
               "operator", "1", "Pressure above limit"});
    }
    return t;
}

// The alarm record with guard bytes around it, as a host lays it among its data.
struct GuardedAlarm {
    unsigned char before[32];
    ALMEVENT record;
    unsigned char after[32];
    GuardedAlarm() { std::memset(this, 0xA5, sizeof *this); }
    bool Intact() const {
        for (size_t i = 0; i < 32; ++i) {
            if (before[i] != 0xA5 || after[i] != 0xA5) {
                return false;
            }
        }
        return true;
    }
};

struct LogCase {
    const char* name;
    std::function<Bytes(Bytes)> damage;
    LGA_SCHEMA_VER version;
    int nRowsReadable;
};

const LogCase kLogCases[] = {
    {"Intact", [](Bytes b) { return b; }, LGA_SCHEMA_VER_1, 2},
    {"HeaderOf31Bytes", [](Bytes b) { return Cut(b, 31); }, LGA_SCHEMA_VER_NONE, 0},
    {"RecordLength0", [](Bytes b) { return With16(b, 10, 0); }, LGA_SCHEMA_VER_NONE, 0},
    {"RecordLengthShorterThanColumns", [](Bytes b) { return With16(b, 10, 300); },
     LGA_SCHEMA_VER_NONE, 0},
    {"HeaderLengthPastEnd", [](Bytes b) { return With16(b, 8, 65000); }, LGA_SCHEMA_VER_1, 0},
    {"DescriptorsWithoutTerminator", [](Bytes b) { return Cut(b, 32 + 15 * 32); },
     LGA_SCHEMA_VER_NONE, 0},
    {"TypeLetter0x80InTagName", [](Bytes b) { return With8(b, 32 + 4 * 32 + 11, 0x80); },
     LGA_SCHEMA_VER_NONE, 0},
    {"CutInsideSecondRow", [](Bytes b) { return Cut(b, b.size() - 100); }, LGA_SCHEMA_VER_1, 1},
    {"EndByteMissing", [](Bytes b) { return Cut(b, b.size() - 1); }, LGA_SCHEMA_VER_1, 2},
    {"EndByteDoubled",
     [](Bytes b) {
         b.push_back(0x1A);
         return b;
     },
     LGA_SCHEMA_VER_1, 2},
    {"CountLarger", [](Bytes b) { return With32(b, 4, 500); }, LGA_SCHEMA_VER_1, 2},
    {"CountSmaller", [](Bytes b) { return With32(b, 4, 1); }, LGA_SCHEMA_VER_1, 2},
};

class HostileLogTest : public ::testing::TestWithParam<LogCase> {
  protected:
    qvhard::TempDir m_dir;
};

TEST_P(HostileLogTest, ReaderAndProbeAgreeAndReadWholeRowsOnly) {
    const LogCase& c = GetParam();
    ASSERT_TRUE(m_dir.Ok());
    const std::string path = m_dir.PathOf("alarm.dbf");
    qvhard::WriteBytes(path, c.damage(AlarmImage().Build()));
    EXPECT_EQ(LgaSchemaVersion(CString(path.c_str())), c.version);
    EXPECT_EQ(LgeSchemaVersion(CString(path.c_str())), LGE_SCHEMA_VER_NONE);

    LgaDbfFile reader(path.c_str(), new LgaSchema);
    reader.CheckSchemaVer();
    EXPECT_EQ(reader.GetSchemaVer(), c.version);
    ASSERT_TRUE(reader.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
    int nRead = 0;
    for (LONG row : {LONG{0}, LONG{1}, LONG{2}, LONG{3}, LONG{-1}, LONG{INT_MAX}}) {
        GuardedAlarm g;
        nRead += reader.ReadRecord(row, &g.record);
        EXPECT_TRUE(g.Intact()) << row;
    }
    reader.Close();
    EXPECT_EQ(nRead, c.nRowsReadable);
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileLogTest, ::testing::ValuesIn(kLogCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Columns wider than this build's members (the current-layout tag name in the legacy build, a
// 200-wide time column in both) are cut to the member; the members after them keep their values.
TEST(HostileLogValuesTest, WideColumnsAreCutToTheirMembers) {
    qvhard::TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.PathOf("alarm.dbf");
    qvhard::WriteBytes(path, AlarmImage(200).Build());
    LgaDbfFile reader(path.c_str(), new LgaSchema);
    reader.CheckSchemaVer();
    ASSERT_EQ(reader.GetSchemaVer(), LGA_SCHEMA_VER_1);
    ASSERT_TRUE(reader.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
    GuardedAlarm g;
    ASSERT_EQ(reader.ReadRecord(1, &g.record), 1);
    reader.Close();
    EXPECT_TRUE(g.Intact());
    EXPECT_EQ(std::string(g.record.time), std::string(8, '9'));
    const std::string tag = "Plant.Area4.Boiler1.Pressure.HighHigh.Setpoint.Value.Long";
    EXPECT_EQ(std::string(g.record.tagName),
              tag.substr(0, sizeof g.record.tagName - 1));  // whole in current, cut in legacy
    // Multi-byte members of the packed record are copied out before they are compared.
    const WORD militime = g.record.militime;
    const double tagValue = g.record.tagValue;
    EXPECT_EQ(militime, 250);
    EXPECT_EQ(tagValue, 3.25);
    EXPECT_EQ(g.record.tagType, 'A');
    EXPECT_EQ(std::string(g.record.userId), "operator");
    EXPECT_EQ(std::string(g.record.description), "Pressure above limit");
}

}  // namespace
