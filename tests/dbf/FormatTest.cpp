// The bytes of the table file: little-endian helpers, the 32-byte header and descriptor images,
// and whole files written by ZDbfFile compared byte for byte with golden images.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "dbf/DbfTestUtil.h"

namespace {

using namespace qvtest;

// ---- ByteOrder -------------------------------------------------------------------------------

struct LE32Case {
    uint32_t value;
    Bytes bytes;
};

void PrintTo(const LE32Case& c, std::ostream* os) {
    *os << "0x" << std::hex << c.value;
}

class ByteOrder32Test : public ::testing::TestWithParam<LE32Case> {};

TEST_P(ByteOrder32Test, StoresAndLoadsLittleEndian) {
    const LE32Case& c = GetParam();
    unsigned char buf[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    qv::StoreLE32(buf + 1, c.value);  // at an odd address
    EXPECT_EQ(Bytes(buf + 1, buf + 5), c.bytes);
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_EQ(buf[5], 0xEE);
    EXPECT_EQ(qv::LoadLE32(c.bytes.data()), c.value);
}

INSTANTIATE_TEST_SUITE_P(Cases, ByteOrder32Test,
                         ::testing::Values(LE32Case{0, {0, 0, 0, 0}}, LE32Case{1, {1, 0, 0, 0}},
                                           LE32Case{0x12345678, {0x78, 0x56, 0x34, 0x12}},
                                           LE32Case{0x80000000, {0, 0, 0, 0x80}},
                                           LE32Case{0xFFFFFFFE, {0xFE, 0xFF, 0xFF, 0xFF}}));

struct LE16Case {
    uint16_t value;
    Bytes bytes;
};

void PrintTo(const LE16Case& c, std::ostream* os) {
    *os << "0x" << std::hex << c.value;
}

class ByteOrder16Test : public ::testing::TestWithParam<LE16Case> {};

TEST_P(ByteOrder16Test, StoresAndLoadsLittleEndian) {
    const LE16Case& c = GetParam();
    unsigned char buf[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    qv::StoreLE16(buf + 1, c.value);
    EXPECT_EQ(Bytes(buf + 1, buf + 3), c.bytes);
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_EQ(buf[3], 0xEE);
    EXPECT_EQ(qv::LoadLE16(c.bytes.data()), c.value);
}

INSTANTIATE_TEST_SUITE_P(Cases, ByteOrder16Test,
                         ::testing::Values(LE16Case{0, {0, 0}}, LE16Case{129, {0x81, 0}},
                                           LE16Case{0x1234, {0x34, 0x12}},
                                           LE16Case{0xFFFF, {0xFF, 0xFF}}));

TEST(ByteOrderTest, UnalignedValuesKeepTheirBits) {
    unsigned char buf[16] = {};
    qv::StoreUnaligned<double>(buf + 3, -1500.25);
    qv::StoreUnaligned<int32_t>(buf + 11, INT32_MIN);
    EXPECT_EQ(qv::LoadUnaligned<double>(buf + 3), -1500.25);
    EXPECT_EQ(qv::LoadUnaligned<int32_t>(buf + 11), INT32_MIN);
}

// ---- header and descriptor images ------------------------------------------------------------

TEST(HeaderImageTest, AccessorsMapToFileBytes) {
    DbfHeader h;
    std::memset(&h, 0, sizeof h);
    h.SetVersion(DbfHeader::kVersionDBase3);
    h.SetDate(124, 1, 31);
    h.SetNumRecords(-2);
    h.SetHeaderLength(129);
    h.SetRecordLength(0x1234);
    const Bytes expected = {0x03, 0x7C, 0x01, 0x1F, 0xFE, 0xFF, 0xFF, 0xFF, 0x81, 0x00, 0x34, 0x12};
    EXPECT_EQ(Bytes(h.m_bytes, h.m_bytes + 12), expected);
    EXPECT_EQ(h.GetNumRecords(), -2);
    EXPECT_EQ(h.GetHeaderLength(), 129);
    EXPECT_EQ(h.GetRecordLength(), 0x1234);
    EXPECT_EQ(h.GetYear(), 124);

    // The version is the low three bits; the flag bits above them are kept.
    h.m_bytes[0] = 0x8C;
    EXPECT_EQ(h.GetVersion(), 4);
    h.SetVersion(3);
    EXPECT_EQ(h.m_bytes[0], 0x8B);
}

struct NameCase {
    const char* pszName;
    Bytes nameBytes;  // the 11 name bytes
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << Quoted(c.pszName);
}

class DescriptorNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DescriptorNameTest, TenCharactersAndAZero) {
    ZDbfField::DbfFldDesc d;
    std::memset(d.m_bytes, 0xEE, sizeof d.m_bytes);
    d.SetName(GetParam().pszName);
    EXPECT_EQ(Bytes(d.m_bytes, d.m_bytes + 11), GetParam().nameBytes);
    EXPECT_EQ(d.m_bytes[11], 0xEE) << "the name must not reach the type letter";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DescriptorNameTest,
    ::testing::Values(NameCase{"TAG", {'T', 'A', 'G', 0, 0, 0, 0, 0, 0, 0, 0}},
                      NameCase{"ABCDEFGHIJ", {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 0}},
                      NameCase{"ABCDEFGHIJKLMN",
                               {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 0}},
                      NameCase{"", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}));

TEST(DescriptorImageTest, FieldsAtTheirOffsets) {
    ZDbfField::DbfFldDesc d = MakeDesc("VALUE", 'F', 20, 10);
    d.SetColumnOffset(0x01020304);
    EXPECT_EQ(d.m_bytes[11], 'F');
    EXPECT_EQ(Bytes(d.m_bytes + 12, d.m_bytes + 16), (Bytes{0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(d.m_bytes[16], 20);
    EXPECT_EQ(d.m_bytes[17], 10);

    // A name that fills all 11 bytes (written elsewhere) is read in full.
    std::memcpy(d.m_bytes, "ELEVENCHARS", 11);
    EXPECT_EQ(std::string(d.GetName()), "ELEVENCHARS");
}

// ---- whole files -----------------------------------------------------------------------------

const WORD kCreateFlags = CFile::modeCreate | CFile::modeReadWrite;

// A test that creates files in its own directory, in a fixed time zone.
class TableBytesTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()); }

    // Checks that the header date of the file is today's (the clock may pass midnight between
    // before and after) and copies it into expected, so the rest compares exactly.
    void ExpectTodayAndAdopt(const Bytes& file, Bytes& expected, const HeaderDate& before) {
        ASSERT_GE(file.size(), 4u);
        const HeaderDate stamped{file[1], file[2], file[3]};
        EXPECT_TRUE(stamped == before || stamped == TodayForHeader())
            << "header date " << stamped.nYear << "-" << stamped.nMonth << "-" << stamped.nDay;
        ASSERT_GE(expected.size(), 4u);
        std::copy(file.begin() + 1, file.begin() + 4, expected.begin() + 1);
    }

    ScopedTimeZone m_tz{kTestTimeZone};
    TempDir m_dir{"qvdbf"};
};

TEST_F(TableBytesTest, GoldenTableCreatedAndAppended) {
    const std::string path = m_dir.PathOf("golden.dbf");
    ZDbfFile file(path.c_str(), new TestSchema(GoldenColumns()));

    HeaderDate before = TodayForHeader();
    ASSERT_TRUE(file.CreateTable(0, 2, kCreateFlags, nullptr, nullptr));
    Bytes expected = GoldenCreated(before);
    Bytes actual = ReadFileBytes(path);
    ASSERT_EQ(actual.size(), 129u);
    ExpectTodayAndAdopt(actual, expected, before);
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(file.GetHeaderLength(), 129);
    EXPECT_EQ(file.GetRecordLength(), 24);

    TestRecord r1 = GoldenRecord(0);
    TestRecord r2 = GoldenRecord(1);
    ASSERT_TRUE(file.AppendRecord(&r1));
    ASSERT_TRUE(file.AppendRecord(&r2));
    before = TodayForHeader();
    ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));

    expected[4] = 2;  // record count
    AppendText(expected, GoldenRowText(0));
    AppendText(expected, GoldenRowText(1));
    expected.push_back(0x1A);
    actual = ReadFileBytes(path);
    ASSERT_EQ(actual.size(), 178u);
    ExpectTodayAndAdopt(actual, expected, before);
    EXPECT_EQ(actual, expected);

    // A further append overwrites the end byte and writes a new one after the new row.
    TestRecord r3;
    r3.SetText(0, "Z");
    r3.Set<LONG>(1, 0);
    r3.Set<TIME32>(2, 0);
    ASSERT_TRUE(file.AppendRecord(&r3));
    before = TodayForHeader();
    ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
    expected[4] = 3;
    expected.pop_back();
    AppendText(expected, " Z             019700101");
    expected.push_back(0x1A);
    actual = ReadFileBytes(path);
    ASSERT_EQ(actual.size(), 129u + 3 * 24 + 1);
    ExpectTodayAndAdopt(actual, expected, before);
    EXPECT_EQ(actual, expected);
}

TEST_F(TableBytesTest, TableWithoutColumns) {
    const std::string path = m_dir.PathOf("empty.dbf");
    ZDbfFile file(path.c_str(), new ZDbfSchema);
    const HeaderDate before = TodayForHeader();
    ASSERT_TRUE(file.CreateTable(0, 0, kCreateFlags, nullptr, nullptr));
    Bytes expected = {0x03, 0, 0, 0, 0, 0, 0, 0, 33, 0, 1, 0};
    expected.resize(32, 0);
    expected.push_back(0x0D);
    const Bytes actual = ReadFileBytes(path);
    ASSERT_EQ(actual.size(), 33u);
    ExpectTodayAndAdopt(actual, expected, before);
    EXPECT_EQ(actual, expected);
}

// The year byte counts from 1900 (2024 is 124), not from 2000 and not modulo 100.
TEST_F(TableBytesTest, YearByteCountsFrom1900) {
    const std::string path = m_dir.PathOf("year.dbf");
    ZDbfFile file(path.c_str(), new TestSchema(GoldenColumns()));
    ASSERT_TRUE(file.CreateTable(0, 0, kCreateFlags, nullptr, nullptr));
    const Bytes actual = ReadFileBytes(path);
    const time_t now = time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    EXPECT_EQ(actual.at(1), local.tm_year);  // e.g. 125 in 2025
    EXPECT_GE(actual.at(1), 124);
    EXPECT_EQ(file.GetHeader().GetYear(), actual.at(1));
}

// Flag bits of byte 0 and the reserved bytes 12..31 of a table written elsewhere survive an
// append: the header is written back from the image that was read.
TEST_F(TableBytesTest, AppendKeepsFlagsAndReservedBytes) {
    const std::string path = m_dir.PathOf("flags.dbf");
    {
        ZDbfFile maker(path.c_str(), new TestSchema(GoldenColumns()));
        ASSERT_TRUE(maker.CreateTable(0, 0, kCreateFlags, nullptr, nullptr));
    }
    Bytes bytes = ReadFileBytes(path);
    bytes[0] = 0x83;
    for (size_t i = 12; i < 32; ++i) {
        bytes[i] = static_cast<unsigned char>(i);
    }
    ASSERT_TRUE(WriteFileBytes(path, bytes));

    ZDbfFile file(path.c_str(), new TestSchema);
    ASSERT_TRUE(file.OpenTable(0, 4, ZDbfFile::kOpenRead, nullptr, nullptr));
    TestRecord r;
    r.SetText(0, "X");
    ASSERT_TRUE(file.AppendRecord(&r));
    ASSERT_TRUE(file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));

    const Bytes after = ReadFileBytes(path);
    ASSERT_EQ(after.size(), 129u + 24 + 1);
    EXPECT_EQ(after[0], 0x83);
    EXPECT_EQ(Bytes(after.begin() + 12, after.begin() + 32),
              Bytes(bytes.begin() + 12, bytes.begin() + 32));
    EXPECT_EQ(after[4], 1);
}

}  // namespace
