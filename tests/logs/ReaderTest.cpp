// LgaDbfFile and LgeDbfFile: the one-row window over the read buffer, the field count and the
// version it gives, reads that fail, and the debug line of a file error. Both readers are one
// design, so every case runs for both through a traits type.
#include <Quorvel32.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "logs/LogTestUtil.h"

namespace {

// Counts the calls the window is meant to save.
template <typename Base>
class CountingReader : public Base {
  public:
    using Base::Base;
    BOOL FillReadBuffer(LONG nRecord) override {
        ++m_nFills;
        return Base::FillReadBuffer(nRecord);
    }
    BOOL OpenTable(LONG nReadRecs, LONG nWriteRecs, WORD nOpenFlags, void* pReadMem,
                   void* pWriteMem) override {
        ++m_nOpens;
        return Base::OpenTable(nReadRecs, nWriteRecs, nOpenFlags, pReadMem, pWriteMem);
    }
    int m_nFills = 0;
    int m_nOpens = 0;
};

// A reader whose file fails under it with a file error that its fill lets through.
template <typename Base>
class FailingReader : public Base {
  public:
    using Base::Base;
    BOOL FillReadBuffer(LONG) override {
        if (m_bMemory) {
            AfxThrowMemoryException();
        }
        throw new CFileException(CFileException::hardIO);
    }
    bool m_bMemory = false;
};

struct AlarmTraits {
    using Schema = LgaSchema;
    using Reader = LgaDbfFile;
    using Record = ALMEVENT;
    using Version = LGA_SCHEMA_VER;
    static constexpr int kFieldsV2 = 17;
    static constexpr const char* kDebugLine =
        "LgaDbfFile::ReadRecord: FillReadBuffer/CFileException: because: (10)\n";
    static Record Make(int i, int version) { return qvlogtest::MakeAlarm(i, version); }
    static void Expect(const Record& written, const Record& read, int version) {
        qvlogtest::ExpectAlarmRead(written, read, version);
    }
};

struct EventTraits {
    using Schema = LgeSchema;
    using Reader = LgeDbfFile;
    using Record = LOGEVENT2;
    using Version = LGE_SCHEMA_VER;
    static constexpr int kFieldsV2 = 12;
    static constexpr const char* kDebugLine =
        "LgeDbfFile::ReadRecord: FillReadBuffer/CFileException: because: (10)\n";
    static Record Make(int i, int version) { return qvlogtest::MakeEvent(i, version); }
    static void Expect(const Record& written, const Record& read, int version) {
        qvlogtest::ExpectEventRead(written, read, version);
    }
};

template <typename Traits>
class ReaderTest : public ::testing::Test {
  protected:
    using Schema = typename Traits::Schema;
    using Reader = typename Traits::Reader;
    using Record = typename Traits::Record;
    using Version = typename Traits::Version;

    static constexpr int kRows = 3;

    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty()) << "mkdtemp failed";
        m_strPath = m_dir.PathOf("log.dbf");
        for (int i = 0; i < kRows; ++i) {
            m_records.push_back(Traits::Make(i, 2));
        }
        qvlogtest::CreateLogTable<Schema>(m_strPath, static_cast<Version>(2), m_records);
    }

    // Steps 1 to 3 of reading: reader, CheckSchemaVer, Open.
    template <typename R = Reader>
    std::unique_ptr<R> OpenReader() {
        auto reader = std::make_unique<R>(m_strPath.c_str(), new Schema(static_cast<Version>(1)));
        reader->CheckSchemaVer();
        EXPECT_EQ(reader->GetSchemaVer(), 2);
        EXPECT_TRUE(reader->Open(m_strPath.c_str(), CFile::modeRead | CFile::shareDenyNone));
        return reader;
    }

    qvlogtest::ScopedTimeZone m_tz{qvlogtest::kTestTimeZone};
    qvlogtest::TempDir m_dir{"qvreader"};
    std::string m_strPath;
    std::vector<Record> m_records;
};

using ReaderKinds = ::testing::Types<AlarmTraits, EventTraits>;

class KindNames {
  public:
    template <typename T>
    static std::string GetName(int) {
        return std::is_same<T, AlarmTraits>::value ? "Alarm" : "Event";
    }
};

TYPED_TEST_SUITE(ReaderTest, ReaderKinds, KindNames);

TYPED_TEST(ReaderTest, ReadsRowsInAnyOrderAndRereadsFromMemory) {
    using Record = typename TestFixture::Record;
    auto reader = this->template OpenReader<CountingReader<typename TestFixture::Reader>>();
    Record rec;
    std::memset(&rec, 0, sizeof rec);
    ASSERT_EQ(reader->ReadRecord(0, &rec), 1);
    TypeParam::Expect(this->m_records[0], rec, 2);
    EXPECT_EQ(reader->m_nFills, 1);

    // The same row again comes from the read buffer: no fill, and the file may even be gone.
    ASSERT_EQ(truncate(this->m_strPath.c_str(), 0), 0);
    Record again;
    std::memset(&again, 0, sizeof again);
    ASSERT_EQ(reader->ReadRecord(0, &again), 1);
    EXPECT_EQ(reader->m_nFills, 1);
    EXPECT_EQ(std::memcmp(&rec, &again, sizeof rec), 0);

    // Another row goes to the file: truncated now, so there is none.
    EXPECT_EQ(reader->ReadRecord(1, &again), 0);
    EXPECT_EQ(reader->m_nFills, 2);
}

TYPED_TEST(ReaderTest, RowPastTheEndGivesZeroThenStoredRowsGiveOne) {
    using Record = typename TestFixture::Record;
    auto reader = this->template OpenReader<CountingReader<typename TestFixture::Reader>>();
    Record rec;
    std::memset(&rec, 0, sizeof rec);
    EXPECT_EQ(reader->ReadRecord(TestFixture::kRows, &rec), 0);
    EXPECT_EQ(reader->ReadRecord(TestFixture::kRows + 100, &rec), 0);
    for (int i : {2, 0, 1}) {
        SCOPED_TRACE(i);
        ASSERT_EQ(reader->ReadRecord(i, &rec), 1);
        TypeParam::Expect(this->m_records[static_cast<size_t>(i)], rec, 2);
    }
    // The empty window recorded at the end holds nothing: asking again goes to the file.
    const int fills = reader->m_nFills;
    EXPECT_EQ(reader->ReadRecord(TestFixture::kRows, &rec), 0);
    EXPECT_EQ(reader->m_nFills, fills + 1);
}

TYPED_TEST(ReaderTest, NegativeRowGivesZero) {
    using Record = typename TestFixture::Record;
    auto reader = this->OpenReader();
    Record rec;
    std::memset(&rec, 0x11, sizeof rec);
    const Record before = rec;
    for (LONG row : {-1, -2, INT32_MIN}) {
        SCOPED_TRACE(row);
        EXPECT_EQ(reader->ReadRecord(row, &rec), 0);
        EXPECT_EQ(std::memcmp(&rec, &before, sizeof rec), 0);
    }
    EXPECT_EQ(reader->ReadRecord(0, &rec), 1);
}

TYPED_TEST(ReaderTest, DeletedRowReadsLikeAnyOther) {
    using Record = typename TestFixture::Record;
    qvlogtest::Bytes bytes = qvlogtest::ReadFileBytes(this->m_strPath);
    DbfHeader header;
    std::memcpy(header.m_bytes, bytes.data(), DbfHeader::kSize);
    bytes[header.GetHeaderLength() + size_t{header.GetRecordLength()}] = '*';  // row 1
    ASSERT_TRUE(qvlogtest::WriteFileBytes(this->m_strPath, bytes));
    auto reader = this->OpenReader();
    Record rec;
    std::memset(&rec, 0, sizeof rec);
    ASSERT_EQ(reader->ReadRecord(1, &rec), 1);
    TypeParam::Expect(this->m_records[1], rec, 2);
}

TYPED_TEST(ReaderTest, ReadFailureKeepsWindowAndRetries) {
    using Record = typename TestFixture::Record;
    CountingReader<typename TestFixture::Reader> reader(
        this->m_strPath.c_str(),
        new typename TestFixture::Schema(static_cast<typename TestFixture::Version>(1)));
    reader.CheckSchemaVer();
    Record rec;
    std::memset(&rec, 0, sizeof rec);
    // The caller has not opened the file: the fill fails and nothing is recorded.
    EXPECT_EQ(reader.ReadRecord(0, &rec), 0);
    EXPECT_EQ(reader.ReadRecord(0, &rec), 0);
    EXPECT_EQ(reader.m_nFills, 2);
    ASSERT_TRUE(reader.Open(this->m_strPath.c_str(), CFile::modeRead | CFile::shareDenyNone));
    ASSERT_EQ(reader.ReadRecord(0, &rec), 1);
    TypeParam::Expect(this->m_records[0], rec, 2);
}

// SetNumOfFields replaces the buffers: a row read before it is read from the file again.
TYPED_TEST(ReaderTest, SetNumOfFieldsEmptiesTheWindow) {
    using Record = typename TestFixture::Record;
    auto reader = this->template OpenReader<CountingReader<typename TestFixture::Reader>>();
    Record rec;
    std::memset(&rec, 0, sizeof rec);
    ASSERT_EQ(reader->ReadRecord(1, &rec), 1);
    EXPECT_EQ(reader->SetNumOfFields(), TypeParam::kFieldsV2);
    // SetNumOfFields opened and closed the table on the object: open it again for the rows.
    ASSERT_TRUE(reader->Open(this->m_strPath.c_str(), CFile::modeRead | CFile::shareDenyNone));
    const int fills = reader->m_nFills;
    std::memset(&rec, 0, sizeof rec);
    ASSERT_EQ(reader->ReadRecord(1, &rec), 1);
    EXPECT_EQ(reader->m_nFills, fills + 1);
    TypeParam::Expect(this->m_records[1], rec, 2);
}

TYPED_TEST(ReaderTest, SecondCheckSchemaVerDoesNotReopen) {
    CountingReader<typename TestFixture::Reader> reader(
        this->m_strPath.c_str(),
        new typename TestFixture::Schema(static_cast<typename TestFixture::Version>(1)));
    reader.CheckSchemaVer();
    EXPECT_EQ(reader.m_nOpens, 1);
    ASSERT_EQ(std::remove(this->m_strPath.c_str()), 0);
    reader.CheckSchemaVer();
    EXPECT_EQ(reader.m_nOpens, 1);
    EXPECT_EQ(reader.GetSchemaVer(), 2);
    // SetNumOfFields always opens: the table is gone now, so the count becomes 0.
    EXPECT_EQ(reader.SetNumOfFields(), 0);
    EXPECT_EQ(reader.m_nOpens, 2);
}

TYPED_TEST(ReaderTest, NewReaderReportsItsSchemasVersion) {
    using Reader = typename TestFixture::Reader;
    using Schema = typename TestFixture::Schema;
    using Version = typename TestFixture::Version;
    Reader v2(this->m_strPath.c_str(), new Schema(static_cast<Version>(2)));
    EXPECT_EQ(v2.GetSchemaVer(), 2);
    Reader v5(this->m_strPath.c_str(), new Schema(static_cast<Version>(5)));
    EXPECT_EQ(v5.GetSchemaVer(), 5);
    Reader none(this->m_strPath.c_str(), nullptr);
    EXPECT_EQ(none.GetSchemaVer(), 0);
}

TYPED_TEST(ReaderTest, MissingPathGivesNoFieldsAndNoVersion) {
    using Reader = typename TestFixture::Reader;
    using Schema = typename TestFixture::Schema;
    using Version = typename TestFixture::Version;
    const std::string missing = this->m_dir.PathOf("missing.dbf");
    Reader reader(missing.c_str(), new Schema(static_cast<Version>(2)));
    EXPECT_EQ(reader.SetNumOfFields(), 0);
    reader.CheckSchemaVer();
    EXPECT_EQ(reader.GetSchemaVer(), 0);
    typename TestFixture::Record rec;
    EXPECT_EQ(reader.ReadRecord(0, &rec), 0);
}

// Without a read buffer, a schema or a record there is nothing to convert: 0, no crash.
TYPED_TEST(ReaderTest, ReadRecordWithoutItsPrerequisitesGivesZero) {
    using Reader = typename TestFixture::Reader;
    using Schema = typename TestFixture::Schema;
    using Version = typename TestFixture::Version;
    typename TestFixture::Record rec;
    std::memset(&rec, 0, sizeof rec);
    {
        Reader noBuffer(this->m_strPath.c_str(), new Schema(static_cast<Version>(2)));
        ASSERT_TRUE(noBuffer.Open(this->m_strPath.c_str(), CFile::modeRead));
        EXPECT_EQ(noBuffer.ReadRecord(0, &rec), 0);
    }
    {
        Reader noSchema(this->m_strPath.c_str(), nullptr);
        EXPECT_EQ(noSchema.SetNumOfFields(), 0);
        noSchema.CheckSchemaVer();
        EXPECT_EQ(noSchema.GetSchemaVer(), 0);
        ASSERT_TRUE(noSchema.Open(this->m_strPath.c_str(), CFile::modeRead));
        EXPECT_EQ(noSchema.ReadRecord(0, &rec), 0);
    }
    {
        auto reader = this->OpenReader();
        EXPECT_EQ(reader->ReadRecord(0, nullptr), 0);
        EXPECT_EQ(reader->ReadRecord(0, &rec), 1);
    }
}

TYPED_TEST(ReaderTest, FileErrorFromFillIsReportedOnTheDebugOutput) {
    using Record = typename TestFixture::Record;
    auto reader = this->template OpenReader<FailingReader<typename TestFixture::Reader>>();
    Record rec;
    std::memset(&rec, 0x42, sizeof rec);
    const Record before = rec;
    {
        qvlogtest::DebugCapture capture;
        EXPECT_EQ(reader->ReadRecord(0, &rec), 0);
        EXPECT_EQ(reader->ReadRecord(0, &rec), 0);
        ASSERT_EQ(capture.Lines().size(), 2u);
        EXPECT_EQ(capture.Lines()[0], TypeParam::kDebugLine);
        EXPECT_EQ(capture.Lines()[1], TypeParam::kDebugLine);
    }
    EXPECT_EQ(std::memcmp(&rec, &before, sizeof rec), 0);

    // Exceptions of other classes are the caller's, and nothing is written for them.
    reader->m_bMemory = true;
    qvlogtest::DebugCapture capture;
    bool caught = false;
    try {
        reader->ReadRecord(0, &rec);
    } catch (CMemoryException* e) {
        caught = true;
        e->Delete();
    }
    EXPECT_TRUE(caught);
    EXPECT_TRUE(capture.Lines().empty());
}

}  // namespace
