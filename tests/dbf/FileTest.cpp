// ZDbfFile and ZDbfRecordBuffer: reading blocks of rows, appending through the write buffer,
// the tables that are refused, the limits of counts and sizes, and the fault paths (through a
// derived file whose Open, Read and Write fail on command).
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "dbf/DbfTestUtil.h"

namespace {

using namespace qvtest;

const WORD kCreateFlags = CFile::modeCreate | CFile::modeReadWrite;

class TableFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()); }

    std::string Path(const char* pszName = "table.dbf") const { return m_dir.PathOf(pszName); }

    // Row i of a table made by MakeTable.
    static TestRecord Row(int i) {
        TestRecord r;
        r.SetText(0, ("ROW" + std::to_string(i)).c_str());
        r.Set<LONG>(1, i * 10);
        r.Set<TIME32>(2, 1706655600 + i * 86400);  // 2024-01-31 + i days, local midnight
        return r;
    }

    // A golden-layout table of nRows rows, written by the engine.
    void MakeTable(const std::string& path, int nRows) {
        ZDbfFile file(path.c_str(), new TestSchema(GoldenColumns()));
        ASSERT_TRUE(file.CreateTable(0, nRows > 0 ? nRows : 1, kCreateFlags, nullptr, nullptr));
        for (int i = 0; i < nRows; ++i) {
            TestRecord r = Row(i);
            ASSERT_TRUE(file.AppendRecord(&r));
        }
        if (nRows > 0) {
            ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
        }
    }

    // Converts row n of the read buffer (which must hold it) through the file's schema.
    static TestRecord Convert(ZDbfFile& file, LONG n) {
        ZDbfRecordBuffer* buf = file.GetReadBuffer();
        TestRecord r;
        EXPECT_NE(buf, nullptr);
        if (buf == nullptr || n < buf->GetFirst() || n >= buf->GetFirst() + buf->GetCount()) {
            ADD_FAILURE() << "row " << n << " is not in the read buffer";
            return r;
        }
        unsigned char* cursor = buf->GetRecordPtr(n - buf->GetFirst());
        file.GetSchema()->ReadFromBuffer(cursor, &r);
        return r;
    }

    static void ExpectRow(const TestRecord& r, int i) {
        const TestRecord want = Row(i);
        EXPECT_EQ(r.Text(0), want.Text(0));
        EXPECT_EQ(r.Get<LONG>(1), want.Get<LONG>(1));
        EXPECT_EQ(r.Get<TIME32>(2), want.Get<TIME32>(2));
    }

    ScopedTimeZone m_tz{kTestTimeZone};
    TempDir m_dir{"qvdbf"};
};

// ---- reading ---------------------------------------------------------------------------------

TEST_F(TableFileTest, ReadsBlocksAndStopsAtTheLastRow) {
    MakeTable(Path(), 5);
    ZDbfFile file(Path().c_str(), new TestSchema);
    ASSERT_TRUE(file.OpenTable(2, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    EXPECT_EQ(file.GetNumOfRecords(), 5);
    EXPECT_EQ(file.GetSchema()->GetNumOfFields(), 3);
    ZDbfRecordBuffer* buf = file.GetReadBuffer();
    ASSERT_NE(buf, nullptr);
    EXPECT_EQ(file.GetWriteBuffer(), nullptr);

    ASSERT_TRUE(file.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    EXPECT_EQ(buf->GetCount(), 2);
    ExpectRow(Convert(file, 1), 1);
    ASSERT_TRUE(file.LoadReadBuffer(4, ZDbfFile::kOpenRead));
    EXPECT_EQ(buf->GetCount(), 1);
    EXPECT_EQ(buf->GetFirst(), 4);
    ExpectRow(Convert(file, 4), 4);
    EXPECT_FALSE(file.IsOpen());

    // At or past the last row, or before the first (a negative row would land in the header):
    // TRUE with nothing read.
    for (LONG n : {5, 100, -1}) {
        ASSERT_TRUE(file.LoadReadBuffer(n, ZDbfFile::kOpenRead));
        EXPECT_EQ(buf->GetCount(), 0);
        EXPECT_EQ(buf->GetFirst(), n);
    }
}

// A table without columns has one-byte rows, so its end byte would pass for a row: it counts
// only when more bytes follow it.
TEST_F(TableFileTest, EndByteIsNoRowOfATableWithoutColumns) {
    {
        ZDbfFile writer(Path().c_str(), new ZDbfSchema);
        ASSERT_TRUE(writer.CreateTable(0, 4, kCreateFlags, nullptr, nullptr));
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(writer.AppendRecord(nullptr));
        }
        ASSERT_TRUE(writer.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    }
    Bytes bytes = ReadFileBytes(Path());
    ASSERT_EQ(bytes.size(), 33u + 3 + 1);
    EXPECT_EQ(std::string(bytes.begin() + 33, bytes.end()), "   \x1A");

    ZDbfFile file(Path().c_str(), new ZDbfSchema);
    ASSERT_TRUE(file.OpenTable(-1, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    ASSERT_TRUE(file.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    EXPECT_EQ(file.GetReadBuffer()->GetCount(), 3);
    ASSERT_TRUE(file.LoadReadBuffer(3, ZDbfFile::kOpenRead));
    EXPECT_EQ(file.GetReadBuffer()->GetCount(), 0);

    // A 0x1A that more rows follow is a row like any other.
    bytes.insert(bytes.end(), {' ', 0x1A});
    ASSERT_TRUE(WriteFileBytes(Path(), bytes));
    ASSERT_TRUE(file.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    EXPECT_EQ(file.GetReadBuffer()->GetCount(), 5);
}

// A header written elsewhere may be longer than its descriptors: rows start at the header length.
TEST_F(TableFileTest, RowsStartAtTheHeaderLength) {
    MakeTable(Path(), 2);
    Bytes bytes = ReadFileBytes(Path());
    bytes.insert(bytes.begin() + 129, {'j', 'u', 'n', 'k', 0x0D, 0, 0});
    qv::StoreLE16(&bytes[8], 129 + 7);
    ASSERT_TRUE(WriteFileBytes(Path(), bytes));

    ZDbfFile file(Path().c_str(), new TestSchema);
    ASSERT_TRUE(file.OpenTable(4, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    ASSERT_TRUE(file.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    EXPECT_EQ(file.GetReadBuffer()->GetCount(), 2);
    ExpectRow(Convert(file, 0), 0);
    ExpectRow(Convert(file, 1), 1);
}

// Whole rows only: neither a cut last row nor the end byte counts. The deletion flag is not
// looked at.
TEST_F(TableFileTest, CountsWholeRowsIgnoringDeletionFlag) {
    MakeTable(Path(), 3);
    Bytes bytes = ReadFileBytes(Path());
    ASSERT_EQ(bytes.size(), 129u + 3 * 24 + 1);
    bytes[129 + 24] = '*';  // row 1 marked deleted
    ASSERT_TRUE(WriteFileBytes(Path(), bytes));

    ZDbfFile file(Path().c_str(), new TestSchema);
    ASSERT_TRUE(file.OpenTable(8, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    ASSERT_TRUE(file.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    EXPECT_EQ(file.GetReadBuffer()->GetCount(), 3);
    ExpectRow(Convert(file, 1), 1);

    bytes.resize(bytes.size() - 6);  // the end byte and 5 bytes of row 2
    ASSERT_TRUE(WriteFileBytes(Path(), bytes));
    ASSERT_TRUE(file.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    EXPECT_EQ(file.GetReadBuffer()->GetCount(), 2);
    ASSERT_TRUE(file.LoadReadBuffer(2, ZDbfFile::kOpenRead));
    EXPECT_EQ(file.GetReadBuffer()->GetCount(), 0);
}

struct ShortRowCase {
    const char* pszLayout;
    std::vector<ColumnSpec> columns;
    WORD nRecordLength;
    LONG nCapacity;
};

void PrintTo(const ShortRowCase& c, std::ostream* os) {
    *os << c.pszLayout;
}

class ShortRowTest : public TableFileTest, public ::testing::WithParamInterface<ShortRowCase> {};

// With rows of 1 byte a default block holds more than 32767 rows; the count of a fill must not be
// cut to 16 bits. Rows of 2 bytes fill a block of 32741.
TEST_P(ShortRowTest, DefaultBlockCountsEveryRow) {
    const ShortRowCase& c = GetParam();
    {
        ZDbfFile maker(Path().c_str(), new TestSchema(c.columns));
        ASSERT_TRUE(maker.CreateTable(0, 0, kCreateFlags, nullptr, nullptr));
        ASSERT_EQ(maker.GetRecordLength(), c.nRecordLength);
    }
    const LONG nRows = 40000;
    Bytes bytes = ReadFileBytes(Path());
    for (LONG i = 0; i < nRows; ++i) {
        bytes.push_back(' ');
        if (c.nRecordLength == 2) {
            bytes.push_back(i % 2 == 0 ? 'T' : 'F');
        }
    }
    ASSERT_TRUE(WriteFileBytes(Path(), bytes));

    ZDbfFile file(Path().c_str(), new TestSchema);
    ASSERT_TRUE(file.OpenTable(-1, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    ZDbfRecordBuffer* buf = file.GetReadBuffer();
    ASSERT_NE(buf, nullptr);
    ASSERT_EQ(buf->GetCapacity(), c.nCapacity);
    const LONG nFirstBlock = std::min(nRows, c.nCapacity);
    ASSERT_TRUE(file.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    EXPECT_EQ(buf->GetCount(), nFirstBlock) << c.pszLayout;
    ASSERT_TRUE(file.LoadReadBuffer(nFirstBlock, ZDbfFile::kOpenRead));
    EXPECT_EQ(buf->GetCount(), nRows - nFirstBlock) << c.pszLayout;
    if (c.nRecordLength == 2) {
        EXPECT_EQ(Convert(file, nRows - 1).Get<int32_t>(0), 0);
        EXPECT_EQ(Convert(file, nRows - 2).Get<int32_t>(0), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ShortRowTest,
                         ::testing::Values(ShortRowCase{"no columns", {}, 1, 65482},
                                           ShortRowCase{
                                               "one logical", {{"F", 'L', 1, 0}}, 2, 32741}));

// Row positions are 64-bit: in a (sparse) file, a row more than 4 GiB in is read and appended
// at its place.
TEST_F(TableFileTest, RowsBeyondFourGigabytes) {
    const LONG nRow = 200000000;  // 129 + 200000000 x 24 = 4800000129
    MakeTable(Path(), 0);
    {
        const int fd = ::open(Path().c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        unsigned char count[4];
        qv::StoreLE32(count, static_cast<uint32_t>(nRow + 1));
        ASSERT_EQ(::pwrite(fd, count, 4, 4), 4);
        const std::string row = " FAR" + std::string(7, ' ') + "   77" + "20240131";
        ASSERT_EQ(::pwrite(fd, row.data(), row.size(), 129 + static_cast<off_t>(nRow) * 24),
                  static_cast<ssize_t>(row.size()));
        ::close(fd);
    }

    ZDbfFile file(Path().c_str(), new TestSchema);
    ASSERT_TRUE(file.OpenTable(4, 2, ZDbfFile::kOpenRead, nullptr, nullptr));
    ASSERT_EQ(file.GetNumOfRecords(), nRow + 1);
    ASSERT_TRUE(file.Open(Path().c_str(), ZDbfFile::kOpenRead, nullptr));
    ASSERT_TRUE(file.FillReadBuffer(nRow - 1));
    EXPECT_EQ(file.GetReadBuffer()->GetCount(), 2);  // a hole of zeros, then the row
    ASSERT_TRUE(file.FillReadBuffer(nRow));
    EXPECT_EQ(file.GetReadBuffer()->GetCount(), 1);
    const TestRecord far = Convert(file, nRow);
    EXPECT_EQ(far.Text(0), "FAR");
    EXPECT_EQ(far.Get<LONG>(1), 77);
    file.Close();

    TestRecord r = Row(9);
    ASSERT_TRUE(file.AppendRecord(&r));
    ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    struct stat st;
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 129 + (static_cast<off_t>(nRow) + 2) * 24 + 1);
    ASSERT_TRUE(file.LoadReadBuffer(nRow + 1, ZDbfFile::kOpenRead));
    ExpectRow(Convert(file, nRow + 1), 9);
}

// ---- tables that are refused -----------------------------------------------------------------

struct DamageCase {
    const char* pszWhat;
    std::function<void(Bytes&)> damage;
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.pszWhat;
}

class RefusedTableTest : public TableFileTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(RefusedTableTest, OpenRefusesWithoutBuffers) {
    MakeTable(Path(), 2);
    Bytes bytes = ReadFileBytes(Path());
    GetParam().damage(bytes);
    ASSERT_TRUE(WriteFileBytes(Path(), bytes));

    ZDbfFile file(Path().c_str(), new TestSchema);
    EXPECT_FALSE(file.OpenTable(4, 4, ZDbfFile::kOpenRead, nullptr, nullptr)) << GetParam().pszWhat;
    EXPECT_EQ(file.GetReadBuffer(), nullptr);
    EXPECT_EQ(file.GetWriteBuffer(), nullptr);
    EXPECT_FALSE(file.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedTableTest,
    ::testing::Values(DamageCase{"empty file", [](Bytes& b) { b.clear(); }},
                      DamageCase{"header shorter than 32 bytes", [](Bytes& b) { b.resize(31); }},
                      DamageCase{"record length 0", [](Bytes& b) { qv::StoreLE16(&b[10], 0); }},
                      DamageCase{"record length below the columns",
                                 [](Bytes& b) { qv::StoreLE16(&b[10], 23); }},
                      DamageCase{"end before the terminator", [](Bytes& b) { b.resize(128); }},
                      DamageCase{"end inside a descriptor", [](Bytes& b) { b.resize(100); }},
                      DamageCase{"memo column", [](Bytes& b) { b[32 + 2 * 32 + 11] = 'M'; }},
                      DamageCase{"header length inside the descriptors",
                                 [](Bytes& b) { qv::StoreLE16(&b[8], 128); }}));

// A record length longer than the columns is accepted; the trailing bytes of a row are ignored.
TEST_F(TableFileTest, LongerRecordLengthIsAccepted) {
    MakeTable(Path(), 0);
    Bytes bytes = ReadFileBytes(Path());
    qv::StoreLE16(&bytes[10], 30);
    qv::StoreLE32(&bytes[4], 2);
    for (int i = 0; i < 2; ++i) {
        AppendText(bytes, GoldenRowText(i));
        AppendText(bytes, "######");
    }
    ASSERT_TRUE(WriteFileBytes(Path(), bytes));

    ZDbfFile file(Path().c_str(), new TestSchema);
    ASSERT_TRUE(file.OpenTable(4, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    EXPECT_EQ(file.GetReadBuffer()->GetRecordLength(), 30);
    ASSERT_TRUE(file.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    ASSERT_EQ(file.GetReadBuffer()->GetCount(), 2);
    const TestRecord r = Convert(file, 1);
    EXPECT_EQ(r.Text(0), "LONGER NAM");
    EXPECT_EQ(r.Get<LONG>(1), -7);
    EXPECT_EQ(r.Get<TIME32>(2), 1720994400);

    // An appended row fills its whole slot: the bytes past the schema's columns are blanks.
    ZDbfFile writer(Path().c_str(), new TestSchema);
    ASSERT_TRUE(writer.OpenTable(0, 1, ZDbfFile::kOpenRead, nullptr, nullptr));
    std::memset(writer.GetWriteBuffer()->GetData(), '#', 30);
    TestRecord w = GoldenRecord(0);
    ASSERT_TRUE(writer.AppendRecord(&w));
    ASSERT_TRUE(writer.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    const Bytes after = ReadFileBytes(Path());
    ASSERT_EQ(after.size(), 129u + 3 * 30 + 1);
    EXPECT_EQ(std::string(after.begin() + 129 + 60, after.begin() + 129 + 90),
              GoldenRowText(0) + "      ");
}

// After a refusal the schema describes the refused table: the rows held for the table opened
// before are dropped with the read buffer. The header image stays the one those rows and any
// pending appends belong to.
TEST_F(TableFileTest, RefusalAfterSuccessDropsTheReadBuffer) {
    MakeTable(Path(), 2);
    ZDbfFile file(Path().c_str(), new TestSchema);
    ASSERT_TRUE(file.OpenTable(4, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    ASSERT_NE(file.GetReadBuffer(), nullptr);
    const DbfHeader before = file.GetHeader();

    Bytes bytes = ReadFileBytes(Path());
    bytes[32 + 11] = 'M';
    qv::StoreLE32(&bytes[4], 77);
    ASSERT_TRUE(WriteFileBytes(Path(), bytes));
    EXPECT_FALSE(file.OpenTable(4, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    EXPECT_EQ(file.GetReadBuffer(), nullptr);
    EXPECT_FALSE(file.FillReadBuffer(0));
    EXPECT_EQ(std::memcmp(file.GetHeader().m_bytes, before.m_bytes, DbfHeader::kSize), 0);
    EXPECT_EQ(file.GetNumOfRecords(), 2);
}

TEST_F(TableFileTest, SecondOpenOfNarrowerTableKeepsOnlyItsColumns) {
    MakeTable(Path("wide.dbf"), 1);
    {
        ZDbfFile maker(Path("narrow.dbf").c_str(), new TestSchema({{"ONLY", 'N', 4, 0}}));
        ASSERT_TRUE(maker.CreateTable(0, 0, kCreateFlags, nullptr, nullptr));
    }
    ZDbfFile file(Path().c_str(), new TestSchema);
    ASSERT_EQ(::rename(Path("wide.dbf").c_str(), Path().c_str()), 0);
    ASSERT_TRUE(file.OpenTable(1, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    ASSERT_EQ(file.GetSchema()->GetNumOfFields(), 3);
    ASSERT_EQ(::rename(Path("narrow.dbf").c_str(), Path().c_str()), 0);
    ASSERT_TRUE(file.OpenTable(1, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    EXPECT_EQ(file.GetSchema()->GetSize(), 1);
    EXPECT_EQ(file.GetSchema()->GetNumOfFields(), 1);
    EXPECT_EQ(file.GetRecordLength(), 5);
    EXPECT_EQ(file.GetReadBuffer()->GetRecordLength(), 5);
}

TEST_F(TableFileTest, LoadHeaderReadsTheImageOnly) {
    MakeTable(Path(), 2);
    ZDbfFile file(Path().c_str(), new TestSchema);
    ASSERT_TRUE(file.LoadHeader(ZDbfFile::kOpenRead));
    EXPECT_EQ(file.GetNumOfRecords(), 2);
    EXPECT_EQ(file.GetHeaderLength(), 129);
    EXPECT_EQ(file.GetRecordLength(), 24);
    EXPECT_EQ(file.GetSchema()->GetSize(), 0);
    EXPECT_FALSE(file.IsOpen());

    ASSERT_TRUE(WriteFileBytes(Path(), Bytes(20, 3)));
    EXPECT_FALSE(file.LoadHeader(ZDbfFile::kOpenRead));
}

// ---- missing schema or buffers ---------------------------------------------------------------

TEST_F(TableFileTest, MissingSchemaOrBuffersGiveFalse) {
    MakeTable(Path(), 1);
    {
        FaultyDbfFile noSchema(Path("new.dbf").c_str(), nullptr);
        EXPECT_FALSE(noSchema.CreateTable(1, 1, kCreateFlags, nullptr, nullptr));
        EXPECT_FALSE(FileExists(Path("new.dbf")));
        FaultyDbfFile other(Path().c_str(), nullptr);
        EXPECT_FALSE(other.OpenTable(1, 1, ZDbfFile::kOpenRead, nullptr, nullptr));
        EXPECT_EQ(other.GetReadBuffer(), nullptr);
        // A write buffer but no schema: nothing to convert a record with.
        other.SetWriteBuffer(new ZDbfRecordBuffer(24, 2, nullptr));
        TestRecord r = Row(0);
        EXPECT_FALSE(other.AppendRecord(&r));
        EXPECT_EQ(other.GetWriteBuffer()->GetCount(), 0);
        EXPECT_EQ(noSchema.m_nOpens + other.m_nOpens, 0);
    }
    FaultyDbfFile noBuffers(Path().c_str(), new TestSchema);
    TestRecord r = Row(0);
    EXPECT_FALSE(noBuffers.AppendRecord(&r));
    EXPECT_FALSE(noBuffers.IsWriteBufferFull());
    EXPECT_FALSE(noBuffers.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    EXPECT_FALSE(noBuffers.FillReadBuffer(0));
    EXPECT_FALSE(noBuffers.LoadReadBuffer(0, ZDbfFile::kOpenRead));
    EXPECT_EQ(noBuffers.SetWriteBuffer(nullptr), nullptr);
    EXPECT_EQ(noBuffers.GetTotalRecords(), 0);
    EXPECT_EQ(noBuffers.m_nOpens, 0) << "nothing to do, nothing opened";
}

// ---- the write buffer ------------------------------------------------------------------------

TEST_F(TableFileTest, FullWriteBufferRefusesAndKeepsItsRows) {
    ZDbfFile file(Path().c_str(), new TestSchema(GoldenColumns()));
    ASSERT_TRUE(file.CreateTable(0, 2, kCreateFlags, nullptr, nullptr));
    ZDbfRecordBuffer* buf = file.GetWriteBuffer();
    ASSERT_NE(buf, nullptr);
    EXPECT_EQ(buf->GetCapacity(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(file.IsWriteBufferFull());
        TestRecord r = GoldenRecord(i);
        ASSERT_TRUE(file.AppendRecord(&r));
    }
    EXPECT_TRUE(file.IsWriteBufferFull());
    const std::string rows(reinterpret_cast<const char*>(buf->GetData()), 48);
    EXPECT_EQ(rows, GoldenRowText(0) + GoldenRowText(1));
    EXPECT_EQ(file.GetTotalRecords(), 2);

    TestRecord extra = Row(5);
    EXPECT_FALSE(file.AppendRecord(&extra));
    EXPECT_EQ(buf->GetCount(), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf->GetData()), 48), rows);

    ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    EXPECT_EQ(buf->GetCount(), 0);
    EXPECT_EQ(file.GetNumOfRecords(), 2);
    EXPECT_EQ(file.GetTotalRecords(), 2);
    EXPECT_FALSE(file.IsWriteBufferFull());
}

// The schema converts its own widths: a slot shorter than that is refused, not overrun.
TEST_F(TableFileTest, AppendRefusesSlotsShorterThanTheRow) {
    ZDbfFile file(Path().c_str(), new TestSchema(GoldenColumns()));
    ASSERT_TRUE(file.CreateTable(0, 0, kCreateFlags, nullptr, nullptr));
    ZDbfRecordBuffer* narrow = new ZDbfRecordBuffer(23, 4, nullptr);
    EXPECT_EQ(file.SetWriteBuffer(narrow), narrow);
    TestRecord r = GoldenRecord(0);
    EXPECT_FALSE(file.AppendRecord(&r));
    EXPECT_EQ(narrow->GetCount(), 0);
}

TEST_F(TableFileTest, FlushWithNothingPendingOpensNothing) {
    FaultyDbfFile file(Path().c_str(), new TestSchema(GoldenColumns()));
    ASSERT_TRUE(file.CreateTable(0, 3, kCreateFlags, nullptr, nullptr));
    ASSERT_EQ(::unlink(Path().c_str()), 0);
    const int nOpens = file.m_nOpens;
    EXPECT_FALSE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    EXPECT_EQ(file.m_nOpens, nOpens);
    EXPECT_FALSE(FileExists(Path()));
}

TEST_F(TableFileTest, SetWriteBufferNullReturnsACopy) {
    ZDbfFile file(Path().c_str(), new TestSchema(GoldenColumns()));
    ASSERT_TRUE(file.CreateTable(0, 3, kCreateFlags, nullptr, nullptr));
    TestRecord r = GoldenRecord(0);
    ASSERT_TRUE(file.AppendRecord(&r));
    ZDbfRecordBuffer* own = file.GetWriteBuffer();

    ZDbfRecordBuffer* copy = file.SetWriteBuffer(nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, own);
    EXPECT_EQ(file.GetWriteBuffer(), own);
    EXPECT_EQ(copy->GetCount(), 1);
    EXPECT_EQ(std::memcmp(copy->GetData(), own->GetData(), 24), 0);
    delete copy;

    // Handing in the buffer already held keeps it.
    EXPECT_EQ(file.SetWriteBuffer(own), own);
    EXPECT_EQ(own->GetCount(), 1);
    file.DeleteWriteBuffer();
    EXPECT_EQ(file.GetWriteBuffer(), nullptr);
}

// ---- record buffers --------------------------------------------------------------------------

struct CapacityCase {
    WORD nRecLen;
    LONG nCapacity;
};

void PrintTo(const CapacityCase& c, std::ostream* os) {
    *os << "record length " << c.nRecLen;
}

class DefaultCapacityTest : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(DefaultCapacityTest, FillsABlockOfAtLeastOneRow) {
    ZDbfRecordBuffer buf(GetParam().nRecLen, -1, nullptr);
    EXPECT_EQ(buf.GetCapacity(), GetParam().nCapacity);
    EXPECT_TRUE(buf.OwnsData());
}

INSTANTIATE_TEST_SUITE_P(Cases, DefaultCapacityTest,
                         ::testing::Values(CapacityCase{24, 2728}, CapacityCase{1, 65482},
                                           CapacityCase{2, 32741}, CapacityCase{65482, 1},
                                           CapacityCase{65483, 1}, CapacityCase{65535, 1},
                                           CapacityCase{0, 1}));

TEST(RecordBufferTest, NextSlotCountsAsItGoes) {
    ZDbfRecordBuffer buf(24, 3, nullptr);
    EXPECT_EQ(buf.GetCount(), 0);
    EXPECT_EQ(buf.GetRecordPtr(-1), buf.GetData());
    EXPECT_EQ(buf.GetCount(), 1);
    EXPECT_EQ(buf.GetRecordPtr(-1), buf.GetData() + 24);
    EXPECT_EQ(buf.GetCount(), 2);
    EXPECT_EQ(buf.GetRecordPtr(2), buf.GetData() + 48);
    EXPECT_EQ(buf.GetCount(), 2);
}

TEST(RecordBufferTest, CopyOfCallerStorageOwnsItsOwn) {
    unsigned char storage[3 * 24];
    for (size_t i = 0; i < sizeof storage; ++i) {
        storage[i] = static_cast<unsigned char>(i);
    }
    ZDbfRecordBuffer buf(24, 3, storage);
    EXPECT_FALSE(buf.OwnsData());
    EXPECT_EQ(buf.GetData(), storage);
    buf.SetCount(2);
    buf.SetFirst(7);

    ZDbfRecordBuffer* copy = buf.Clone();
    EXPECT_TRUE(copy->OwnsData());
    EXPECT_NE(copy->GetData(), storage);
    EXPECT_EQ(std::memcmp(copy->GetData(), storage, sizeof storage), 0);
    EXPECT_EQ(copy->GetRecordLength(), 24);
    EXPECT_EQ(copy->GetCapacity(), 3);
    EXPECT_EQ(copy->GetCount(), 2);
    EXPECT_EQ(copy->GetFirst(), 7);
    delete copy;
    EXPECT_EQ(storage[71], 71) << "the caller's storage outlives the copy untouched";
}

struct SizeCase {
    WORD nRecLen;
    LONG nCapacity;
    bool bAccepted;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.nRecLen << " x " << c.nCapacity;
}

class BufferSizeTest : public ::testing::TestWithParam<SizeCase> {};

// Sizes are checked before any storage is taken (caller storage is handed in, so an accepted
// size allocates nothing).
TEST_P(BufferSizeTest, ImpossibleSizesRaiseMemoryException) {
    const SizeCase& c = GetParam();
    unsigned char storage[1];
    bool bRaised = false;
    try {
        ZDbfRecordBuffer buf(c.nRecLen, c.nCapacity, storage);
        EXPECT_EQ(buf.GetCapacity(), c.nCapacity);
    } catch (CMemoryException* e) {
        bRaised = true;
        e->Delete();
    }
    EXPECT_EQ(bRaised, !c.bAccepted);
}

INSTANTIATE_TEST_SUITE_P(Cases, BufferSizeTest,
                         ::testing::Values(SizeCase{32768, 65535, true},  // 2147450880 bytes
                                           SizeCase{1, INT32_MAX, true},
                                           SizeCase{65535, 32769, false},  // past 2^31 - 1
                                           SizeCase{2, INT32_MAX, false},
                                           SizeCase{65535, INT32_MAX, false},
                                           SizeCase{24, -2, false}, SizeCase{24, INT32_MIN, false},
                                           SizeCase{24, 0, true}));

// ---- count limits ----------------------------------------------------------------------------

// The header counts rows in a signed 32-bit number: a flush that would pass INT32_MAX is refused
// as a full table, before anything is opened, and the rows stay pending. The destructor's flush
// meets the same refusal and swallows it.
TEST_F(TableFileTest, FlushPastInt32MaxIsRefusedAsDiskFull) {
    MakeTable(Path(), 0);
    const Bytes before = ReadFileBytes(Path());
    FaultyDbfFile file(Path().c_str(), new TestSchema);
    ASSERT_TRUE(file.OpenTable(0, 4, ZDbfFile::kOpenRead, nullptr, nullptr));
    file.SetHeaderRecordCount(INT32_MAX - 1);
    for (int i = 0; i < 2; ++i) {
        TestRecord r = Row(i);
        ASSERT_TRUE(file.AppendRecord(&r));
    }
    EXPECT_EQ(file.GetTotalRecords(), INT32_MAX);  // saturated
    const int nOpens = file.m_nOpens;
    const auto err = CatchFileError([&] { file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite); });
    ASSERT_TRUE(err.has_value());
    EXPECT_EQ(err->m_cause, CFileException::diskFull);
    EXPECT_EQ(err->m_lOsError, -1);
    EXPECT_EQ(file.m_nOpens, nOpens);
    EXPECT_EQ(file.GetWriteBuffer()->GetCount(), 2);
    EXPECT_EQ(file.GetNumOfRecords(), INT32_MAX - 1);
    EXPECT_EQ(ReadFileBytes(Path()), before);
}

// A negative count (a damaged header) names no place to append at: rows written there would
// land on the descriptors.
TEST_F(TableFileTest, FlushWithNegativeCountIsRefused) {
    MakeTable(Path(), 0);
    Bytes bytes = ReadFileBytes(Path());
    qv::StoreLE32(&bytes[4], static_cast<uint32_t>(-1));
    ASSERT_TRUE(WriteFileBytes(Path(), bytes));
    {
        ZDbfFile file(Path().c_str(), new TestSchema);
        ASSERT_TRUE(file.OpenTable(0, 4, ZDbfFile::kOpenRead, nullptr, nullptr));
        EXPECT_EQ(file.GetNumOfRecords(), -1);
        TestRecord r = Row(0);
        ASSERT_TRUE(file.AppendRecord(&r));
        const auto err = CatchFileError([&] { file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite); });
        ASSERT_TRUE(err.has_value());
        EXPECT_EQ(err->m_cause, CFileException::invalidFile);
        EXPECT_EQ(err->m_lOsError, -1);
        EXPECT_EQ(file.GetWriteBuffer()->GetCount(), 1);
    }
    EXPECT_EQ(ReadFileBytes(Path()), bytes) << "neither the flush nor the destructor wrote";
}

struct LayoutLimitCase {
    const char* pszWhat;
    int nFields;
    unsigned char nWidth;
    bool bCreated;
};

void PrintTo(const LayoutLimitCase& c, std::ostream* os) {
    *os << c.pszWhat;
}

class LayoutLimitTest : public TableFileTest,
                        public ::testing::WithParamInterface<LayoutLimitCase> {};

// A header stores the header length and the record length in 16 bits each.
TEST_P(LayoutLimitTest, CreateRefusesLayoutsAHeaderCannotHold) {
    const LayoutLimitCase& c = GetParam();
    ZDbfSchema* schema = new ZDbfSchema;
    for (int i = 0; i < c.nFields; ++i) {
        schema->SetField(i, new DbfStringField("S", c.nWidth, 1));
    }
    FaultyDbfFile file(Path().c_str(), schema);
    EXPECT_EQ(file.CreateTable(1, 1, kCreateFlags, nullptr, nullptr), c.bCreated ? TRUE : FALSE)
        << c.pszWhat;
    EXPECT_EQ(FileExists(Path()), c.bCreated);
    if (c.bCreated) {
        EXPECT_EQ(file.GetHeaderLength(), 32 * c.nFields + 33);
        EXPECT_EQ(file.GetRecordLength(), 1 + c.nFields * c.nWidth);
    } else {
        EXPECT_EQ(file.m_nOpens, 0);
        EXPECT_EQ(file.GetWriteBuffer(), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LayoutLimitTest,
    ::testing::Values(LayoutLimitCase{"2046 columns", ZDbfSchema::kMaxFields, 1, true},
                      LayoutLimitCase{"2047 columns", ZDbfSchema::kMaxFields + 1, 1, false},
                      LayoutLimitCase{"rows of 65535 bytes", 434, 151, true},
                      LayoutLimitCase{"rows of 65536 bytes", 257, 255, false}));

// ---- fault paths -----------------------------------------------------------------------------

struct CreateFaultCase {
    const char* pszWhat;
    int nFailWrite;  // 1: the header, 2: the descriptor block
    int nCause;
    bool bExistingBytes;  // a file with bytes was there (opened without truncation)
    bool bFileRemains;
};

void PrintTo(const CreateFaultCase& c, std::ostream* os) {
    *os << c.pszWhat;
}

class CreateFaultTest : public TableFileTest,
                        public ::testing::WithParamInterface<CreateFaultCase> {};

// Only a file that a full disk left empty is removed: any other file may be somebody's table.
TEST_P(CreateFaultTest, FailedCreateRemovesOnlyAnEmptyFile) {
    const CreateFaultCase& c = GetParam();
    WORD flags = kCreateFlags;
    if (c.bExistingBytes) {
        ASSERT_TRUE(WriteFileBytes(Path(), Bytes(200, 'x')));
        flags |= CFile::modeNoTruncate;
    }
    FaultyDbfFile file(Path().c_str(), new TestSchema(GoldenColumns()));
    file.m_nFailWrite = c.nFailWrite;
    file.m_nWriteCause = c.nCause;
    const auto err = CatchFileError([&] { file.CreateTable(1, 1, flags, nullptr, nullptr); });
    ASSERT_TRUE(err.has_value()) << c.pszWhat;
    EXPECT_EQ(err->m_cause, c.nCause);
    EXPECT_EQ(err->m_lOsError, -1);
    EXPECT_EQ(err->m_strFileName, "");
    EXPECT_EQ(FileExists(Path()), c.bFileRemains) << c.pszWhat;
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.GetReadBuffer(), nullptr);
    EXPECT_EQ(file.GetWriteBuffer(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateFaultTest,
    ::testing::Values(
        CreateFaultCase{"disk full, nothing written", 1, CFileException::diskFull, false, false},
        CreateFaultCase{"hard I/O, nothing written", 1, CFileException::hardIO, false, true},
        CreateFaultCase{"disk full after the header", 2, CFileException::diskFull, false, true},
        CreateFaultCase{"disk full, file held bytes", 1, CFileException::diskFull, true, true}));

// A flush whose row write fails leaves the rows pending and the count unchanged; the next flush
// writes them at the same place, and the table ends up as if nothing had failed.
TEST_F(TableFileTest, FailedFlushKeepsRowsForTheNext) {
    FaultyDbfFile file(Path().c_str(), new TestSchema(GoldenColumns()));
    ASSERT_TRUE(file.CreateTable(0, 2, kCreateFlags, nullptr, nullptr));
    const Bytes created = ReadFileBytes(Path());
    for (int i = 0; i < 2; ++i) {
        TestRecord r = GoldenRecord(i);
        ASSERT_TRUE(file.AppendRecord(&r));
    }
    file.m_nFailWrite = file.m_nWrites + 1;  // the rows, the first write of the flush
    const auto err = CatchFileError([&] { file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite); });
    ASSERT_TRUE(err.has_value());
    EXPECT_EQ(err->m_cause, CFileException::diskFull);
    EXPECT_EQ(err->m_lOsError, -1);
    EXPECT_EQ(file.GetWriteBuffer()->GetCount(), 2);
    EXPECT_EQ(file.GetNumOfRecords(), 0);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadFileBytes(Path()), created);

    file.m_nFailWrite = 0;
    const HeaderDate before = TodayForHeader();
    ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    Bytes expected = GoldenCreated(before);
    expected[4] = 2;
    AppendText(expected, GoldenRowText(0) + GoldenRowText(1));
    expected.push_back(0x1A);
    const Bytes actual = ReadFileBytes(Path());
    ASSERT_EQ(actual.size(), 178u);
    std::copy(actual.begin() + 1, actual.begin() + 4, expected.begin() + 1);  // today's date
    EXPECT_EQ(actual, expected);
}

// No file exception leaves FillReadBuffer; the buffer keeps what the last good fill gave it.
TEST_F(TableFileTest, FillReadBufferSwallowsFileErrors) {
    MakeTable(Path(), 3);
    FaultyDbfFile file(Path().c_str(), new TestSchema);
    ASSERT_TRUE(file.OpenTable(2, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    ZDbfRecordBuffer* buf = file.GetReadBuffer();
    ASSERT_TRUE(file.Open(Path().c_str(), ZDbfFile::kOpenRead, nullptr));
    ASSERT_TRUE(file.FillReadBuffer(1));
    ASSERT_EQ(buf->GetCount(), 2);

    file.m_nFailRead = file.m_nReads + 1;
    EXPECT_FALSE(file.FillReadBuffer(0));
    EXPECT_EQ(buf->GetCount(), 2);
    EXPECT_EQ(buf->GetFirst(), 1);
    ExpectRow(Convert(file, 2), 2);
    file.Close();

    EXPECT_FALSE(file.FillReadBuffer(0)) << "no file open";
    EXPECT_EQ(buf->GetCount(), 2);
    EXPECT_EQ(buf->GetFirst(), 1);
}

struct OpenFaultCase {
    const char* pszOperation;
    std::function<void(FaultyDbfFile&)> run;
};

void PrintTo(const OpenFaultCase& c, std::ostream* os) {
    *os << c.pszOperation;
}

class OpenFaultTest : public TableFileTest, public ::testing::WithParamInterface<OpenFaultCase> {};

// Every operation that opens the table raises a new exception carrying Open's cause only.
TEST_P(OpenFaultTest, RaisesOpensCauseOnly) {
    MakeTable(Path(), 1);
    FaultyDbfFile file(Path().c_str(), new TestSchema(GoldenColumns()));
    ASSERT_TRUE(file.OpenTable(1, 1, ZDbfFile::kOpenRead, nullptr, nullptr));
    TestRecord r = Row(1);
    ASSERT_TRUE(file.AppendRecord(&r));
    file.m_nOpenCause = CFileException::sharingViolation;

    const auto err = CatchFileError([&] { GetParam().run(file); });
    ASSERT_TRUE(err.has_value()) << GetParam().pszOperation;
    EXPECT_EQ(err->m_cause, CFileException::sharingViolation);
    EXPECT_EQ(err->m_lOsError, -1);
    EXPECT_EQ(err->m_strFileName, "");
    EXPECT_EQ(file.GetWriteBuffer()->GetCount(), 1) << "the pending row stays";
    file.m_nOpenCause = CFileException::none;  // the destructor flushes it
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenFaultTest,
    ::testing::Values(
        OpenFaultCase{
            "CreateTable",
            [](FaultyDbfFile& f) { f.CreateTable(1, 0, kCreateFlags, nullptr, nullptr); }},
        OpenFaultCase{
            "OpenTable",
            [](FaultyDbfFile& f) { f.OpenTable(1, 0, ZDbfFile::kOpenRead, nullptr, nullptr); }},
        OpenFaultCase{"FlushWriteBuffer",
                      [](FaultyDbfFile& f) { f.FlushWriteBuffer(ZDbfFile::kOpenReadWrite); }},
        OpenFaultCase{"LoadReadBuffer",
                      [](FaultyDbfFile& f) { f.LoadReadBuffer(0, ZDbfFile::kOpenRead); }},
        OpenFaultCase{"LoadHeader", [](FaultyDbfFile& f) { f.LoadHeader(ZDbfFile::kOpenRead); }}));

TEST_F(TableFileTest, MissingTableRaisesFileNotFound) {
    ZDbfFile file(Path("absent.dbf").c_str(), new TestSchema);
    const auto err =
        CatchFileError([&] { file.OpenTable(1, 1, ZDbfFile::kOpenRead, nullptr, nullptr); });
    ASSERT_TRUE(err.has_value());
    EXPECT_EQ(err->m_cause, CFileException::fileNotFound);
    EXPECT_EQ(err->m_lOsError, -1);
    EXPECT_EQ(err->m_strFileName, "");
}

// ---- destruction -----------------------------------------------------------------------------

TEST_F(TableFileTest, DestructorFlushesPendingRows) {
    {
        ZDbfFile file(Path().c_str(), new TestSchema(GoldenColumns()));
        ASSERT_TRUE(file.CreateTable(0, 4, kCreateFlags, nullptr, nullptr));
        for (int i = 0; i < 2; ++i) {
            TestRecord r = GoldenRecord(i);
            ASSERT_TRUE(file.AppendRecord(&r));
        }
        EXPECT_EQ(ReadFileBytes(Path()).size(), 129u);
    }
    const Bytes bytes = ReadFileBytes(Path());
    ASSERT_EQ(bytes.size(), 178u);
    EXPECT_EQ(bytes[4], 2);
    EXPECT_EQ(std::string(bytes.begin() + 129, bytes.begin() + 177),
              GoldenRowText(0) + GoldenRowText(1));
    EXPECT_EQ(bytes.back(), 0x1A);
}

// The destructor's flush opens the existing table (no create flag): with the table gone it
// fails, and the failure is swallowed with the rows.
TEST_F(TableFileTest, DestructorSwallowsAFailingFlush) {
    {
        ZDbfFile file(Path().c_str(), new TestSchema(GoldenColumns()));
        ASSERT_TRUE(file.CreateTable(0, 4, kCreateFlags, nullptr, nullptr));
        TestRecord r = GoldenRecord(0);
        ASSERT_TRUE(file.AppendRecord(&r));
        ASSERT_EQ(::unlink(Path().c_str()), 0);
    }
    EXPECT_FALSE(FileExists(Path()));
}

// ---- sharing ---------------------------------------------------------------------------------

// A reader that opened the table reads the rows another object appended afterwards: reads are
// bounded by the file's length, not by the count in the reader's header image.
TEST_F(TableFileTest, ReaderSeesRowsAppendedAfterItOpened) {
    MakeTable(Path(), 1);
    ZDbfFile reader(Path().c_str(), new TestSchema);
    // The flags the log readers open with: binary, share deny none, read.
    ASSERT_TRUE(reader.OpenTable(8, 0, 0x8040, nullptr, nullptr));
    ASSERT_EQ(reader.GetNumOfRecords(), 1);
    {
        ZDbfFile writer(Path().c_str(), new TestSchema);
        ASSERT_TRUE(writer.OpenTable(0, 8, ZDbfFile::kOpenRead, nullptr, nullptr));
        for (int i = 1; i < 4; ++i) {
            TestRecord r = Row(i);
            ASSERT_TRUE(writer.AppendRecord(&r));
        }
        ASSERT_TRUE(writer.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    }
    ASSERT_TRUE(reader.Open(Path().c_str(), ZDbfFile::kOpenRead, nullptr));
    ASSERT_TRUE(reader.FillReadBuffer(0));
    reader.Close();
    EXPECT_EQ(reader.GetNumOfRecords(), 1) << "the header image is not read again";
    ASSERT_EQ(reader.GetReadBuffer()->GetCount(), 4);
    for (int i = 0; i < 4; ++i) {
        ExpectRow(Convert(reader, i), i);
    }
}

// ---- attributes ------------------------------------------------------------------------------

TEST_F(TableFileTest, ReadOnlyAttributeIsTheWritePermission) {
    MakeTable(Path(), 0);
    ZDbfFile file(Path().c_str(), new TestSchema);
    struct stat st;
    ASSERT_TRUE(file.AddAttributes(CFile::readOnly));
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH), 0u);
    ASSERT_TRUE(file.RemoveAttributes(CFile::readOnly));
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);

    ZDbfFile absent(Path("absent.dbf").c_str(), new TestSchema);
    EXPECT_FALSE(absent.AddAttributes(CFile::readOnly));
    EXPECT_FALSE(absent.RemoveAttributes(CFile::readOnly));
}

}  // namespace
