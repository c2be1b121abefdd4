// Fault injection through the file class: table objects whose Open, Read or Write fail on the
// n-th call, with a chosen cause, swept over every call each engine operation makes. After each
// failure: what the operation reports, the state of its buffers, and the bytes on disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>

#include "HardeningUtil.h"

namespace {

using qvhard::Bytes;

// Which call fails and how.
struct Fault {
    enum Kind { kNone, kOpen, kRead, kWrite };
    Kind kind = kNone;
    int n = 0;  // the n-th call of that kind fails, counted from 1
    int cause = CFileException::hardIO;
    // A failing write puts the first half of its bytes on disk first; a failing read reads the
    // first half of what it was asked for into the caller's buffer first.
    bool partial = false;
    // A read that ends short (half the bytes, as at the end of a file) instead of failing.
    bool shortRead = false;
};

std::string Describe(const Fault& f) {
    static const char* kinds[] = {"none", "open", "read", "write"};
    return std::string(kinds[f.kind]) + " #" + std::to_string(f.n) + " cause " +
           std::to_string(f.cause) + (f.partial ? " partial" : "") + (f.shortRead ? " short" : "");
}

// A table object (ZDbfFile or a log reader) whose file calls fail as the armed fault says.
template <typename Base>
class Faulty : public Base {
  public:
    using Base::Base;

    void Arm(const Fault& fault) {
        m_fault = fault;
        m_nOpens = m_nReads = m_nWrites = 0;
    }

    BOOL Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr) override {
        if (m_fault.kind == Fault::kOpen && ++m_nOpens == m_fault.n) {
            if (pError != nullptr) {
                pError->m_cause = m_fault.cause;
                pError->m_lOsError = EIO;
            }
            return FALSE;
        }
        return Base::Open(lpszFileName, nOpenFlags, pError);
    }

    UINT Read(void* lpBuf, UINT nCount) override {
        if (m_fault.kind != Fault::kRead || ++m_nReads != m_fault.n) {
            return Base::Read(lpBuf, nCount);
        }
        if (m_fault.shortRead) {
            return Base::Read(lpBuf, nCount / 2);
        }
        if (m_fault.partial) {
            Base::Read(lpBuf, nCount / 2);
        }
        AfxThrowFileException(m_fault.cause, EIO, this->GetFilePath());
    }

    void Write(const void* lpBuf, UINT nCount) override {
        if (m_fault.kind != Fault::kWrite || ++m_nWrites != m_fault.n) {
            Base::Write(lpBuf, nCount);
            return;
        }
        if (m_fault.partial) {
            Base::Write(lpBuf, nCount / 2);
        }
        AfxThrowFileException(m_fault.cause, ENOSPC, this->GetFilePath());
    }

    int m_nOpens = 0;
    int m_nReads = 0;
    int m_nWrites = 0;

  private:
    Fault m_fault;
};

// Counts the calls an operation makes, failing none.
template <typename Base>
class Counting : public Base {
  public:
    using Base::Base;
    UINT Read(void* lpBuf, UINT nCount) override {
        ++m_nReads;
        return Base::Read(lpBuf, nCount);
    }
    void Write(const void* lpBuf, UINT nCount) override {
        ++m_nWrites;
        Base::Write(lpBuf, nCount);
    }
    int m_nReads = 0;
    int m_nWrites = 0;
};

// The record of the test table: a name, a count and a day.
struct Row {
    char name[11];
    LONG count;
    TIME32 day;
};

Row MakeRow(int i) {
    Row r = {};
    std::snprintf(r.name, sizeof r.name, "row %d", i);
    r.count = 100 * i - 7;
    r.day = 1710460800 + 86400 * i;
    return r;
}

// Three columns, C 10, N 5, D 8: 24-byte rows after a 129-byte header.
class RowSchema : public ZDbfSchema {
  public:
    void CreateFieldDesc() override {
        RemoveAllFields();
        SetField(0, new DbfStringField("NAME", 10, 1));
        SetField(1, new DbfNumericField("COUNT", 5, 0));
        SetField(2, new DbfDateField("DAY"));
    }
    void WriteToBuffer(unsigned char*& cursor, void* record) override {
        Row* r = static_cast<Row*>(record);
        *cursor++ = ' ';
        GetField(0)->WriteToBuffer(cursor, r->name);
        GetField(1)->WriteToBuffer(cursor, &r->count);
        GetField(2)->WriteToBuffer(cursor, &r->day);
    }
    void ReadFromBuffer(unsigned char*& cursor, void* record) override {
        Row* r = static_cast<Row*>(record);
        ++cursor;
        GetField(0)->ReadFromBuffer(cursor, r->name);
        GetField(1)->ReadFromBuffer(cursor, &r->count);
        GetField(2)->ReadFromBuffer(cursor, &r->day);
    }
};

const size_t kHeaderLength = 129;
const size_t kRecLength = 24;
const int kCauses[] = {CFileException::diskFull, CFileException::hardIO};

// Runs op, which must raise a CFileException; returns its cause (-1: none raised).
template <typename Op>
int CauseOf(Op op) {
    try {
        op();
    } catch (CFileException* e) {
        const int cause = e->m_cause;
        e->Delete();
        return cause;
    }
    return -1;
}

class FaultInjectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Ok());
        m_path = m_dir.PathOf("t.dbf");
    }

    // A new table with the given rows appended and flushed, made without faults.
    void MakeTable(const std::string& path, int nRows) {
        ZDbfFile table(path.c_str(), new RowSchema);
        ASSERT_TRUE(
            table.CreateTable(0, 8, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr));
        for (int i = 0; i < nRows; ++i) {
            Row r = MakeRow(i);
            ASSERT_TRUE(table.AppendRecord(&r));
        }
        if (nRows > 0) {
            ASSERT_TRUE(table.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
        }
    }

    qvhard::TempDir m_dir;
    std::string m_path;
};

// CreateTable writes the header, then the descriptors with their terminator: two writes. A file
// that a full disk left empty is removed; any other failure leaves the file with what reached it.
TEST_F(FaultInjectionTest, CreateTableSweep) {
    Counting<ZDbfFile> counter(m_path.c_str(), new RowSchema);
    ASSERT_TRUE(
        counter.CreateTable(1, 1, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr));
    ASSERT_EQ(counter.m_nWrites, 2);
    const Bytes reference = qvhard::ReadBytes(m_path);
    ASSERT_EQ(reference.size(), kHeaderLength);

    std::vector<Fault> faults;
    for (int cause : kCauses) {
        faults.push_back({Fault::kOpen, 1, cause});
        for (int n = 1; n <= 2; ++n) {
            for (bool partial : {false, true}) {
                faults.push_back({Fault::kWrite, n, cause, partial});
            }
        }
    }
    for (bool existed : {false, true}) {
        for (const Fault& f : faults) {
            SCOPED_TRACE(Describe(f) + (existed ? " over an existing table" : ""));
            std::remove(m_path.c_str());
            if (existed) {
                MakeTable(m_path, 3);
            }
            Faulty<ZDbfFile> table(m_path.c_str(), new RowSchema);
            table.Arm(f);
            EXPECT_EQ(CauseOf([&] {
                          table.CreateTable(1, 1, CFile::modeCreate | CFile::modeReadWrite, nullptr,
                                            nullptr);
                      }),
                      f.cause);
            EXPECT_FALSE(table.IsOpen());
            EXPECT_EQ(table.GetReadBuffer(), nullptr);
            EXPECT_EQ(table.GetWriteBuffer(), nullptr);
            if (f.kind == Fault::kOpen) {
                // Nothing was opened: an existing table is untouched, none is created.
                EXPECT_EQ(qvhard::Exists(m_path), existed);
                if (existed) {
                    EXPECT_EQ(qvhard::ReadBytes(m_path).size(), kHeaderLength + 3 * kRecLength + 1);
                }
                continue;
            }
            const size_t reached =
                (f.n == 1 ? 0 : 32) + (f.partial ? (f.n == 1 ? 16 : (kHeaderLength - 32) / 2) : 0);
            if (f.cause == CFileException::diskFull && reached == 0) {
                EXPECT_FALSE(qvhard::Exists(m_path));
                continue;
            }
            ASSERT_TRUE(qvhard::Exists(m_path));
            const Bytes now = qvhard::ReadBytes(m_path);
            ASSERT_EQ(now.size(), reached);
            EXPECT_TRUE(std::equal(now.begin(), now.end(), reference.begin()));
        }
    }
}

// OpenTable reads the header (1 read), each descriptor (2 reads: its first byte, then the rest)
// and the terminator (1 read). A failed header read passes its exception on; a failed read
// among the descriptors refuses the table. Either way no buffer is made and the file is closed.
TEST_F(FaultInjectionTest, OpenTableSweep) {
    MakeTable(m_path, 2);
    Counting<ZDbfFile> counter(m_path.c_str(), new ZDbfSchema);
    ASSERT_TRUE(counter.OpenTable(1, 1, ZDbfFile::kOpenRead, nullptr, nullptr));
    ASSERT_EQ(counter.m_nReads, 1 + 2 * 3 + 1);

    for (int cause : kCauses) {
        std::vector<Fault> faults = {{Fault::kOpen, 1, cause}};
        for (int n = 1; n <= counter.m_nReads; ++n) {
            faults.push_back({Fault::kRead, n, cause});
            faults.push_back({Fault::kRead, n, cause, false, true});
        }
        for (const Fault& f : faults) {
            SCOPED_TRACE(Describe(f));
            Faulty<ZDbfFile> table(m_path.c_str(), new ZDbfSchema);
            table.Arm(f);
            BOOL opened = TRUE;
            const int raised = CauseOf(
                [&] { opened = table.OpenTable(1, 1, ZDbfFile::kOpenRead, nullptr, nullptr); });
            if (f.kind == Fault::kOpen || (f.n == 1 && !f.shortRead)) {
                EXPECT_EQ(raised, cause);
            } else {
                EXPECT_EQ(raised, -1);
                EXPECT_FALSE(opened);
            }
            EXPECT_FALSE(table.IsOpen());
            EXPECT_EQ(table.GetReadBuffer(), nullptr);
            EXPECT_EQ(table.GetWriteBuffer(), nullptr);
        }
    }
}

// FlushWriteBuffer makes three writes: the rows, the end byte, the header. Its order decides
// what a failure leaves: rows still pending, or rows on disk that the header does not count.
TEST_F(FaultInjectionTest, FlushWriteBufferSweep) {
    const std::string refPath = m_dir.PathOf("reference.dbf");
    MakeTable(refPath, 3);
    const Bytes reference = qvhard::ReadBytes(refPath);
    MakeTable(m_path, 0);
    const Bytes empty = qvhard::ReadBytes(m_path);
    {
        Counting<ZDbfFile> counter(m_path.c_str(), new RowSchema);
        ASSERT_TRUE(counter.OpenTable(0, 4, ZDbfFile::kOpenRead, nullptr, nullptr));
        for (int i = 0; i < 3; ++i) {
            Row r = MakeRow(i);
            ASSERT_TRUE(counter.AppendRecord(&r));
        }
        ASSERT_TRUE(counter.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
        ASSERT_EQ(counter.m_nWrites, 3);
        ASSERT_EQ(qvhard::ReadBytes(m_path), reference);
    }

    for (int cause : kCauses) {
        std::vector<Fault> faults = {{Fault::kOpen, 1, cause}};
        for (int n = 1; n <= 3; ++n) {
            faults.push_back({Fault::kWrite, n, cause});
            faults.push_back({Fault::kWrite, n, cause, true});
        }
        for (const Fault& f : faults) {
            SCOPED_TRACE(Describe(f));
            qvhard::WriteBytes(m_path, empty);
            Faulty<ZDbfFile> table(m_path.c_str(), new RowSchema);
            ASSERT_TRUE(table.OpenTable(0, 4, ZDbfFile::kOpenRead, nullptr, nullptr));
            for (int i = 0; i < 3; ++i) {
                Row r = MakeRow(i);
                ASSERT_TRUE(table.AppendRecord(&r));
            }
            table.Arm(f);
            EXPECT_EQ(CauseOf([&] { table.FlushWriteBuffer(ZDbfFile::kOpenReadWrite); }), cause);
            EXPECT_FALSE(table.IsOpen());
            const Bytes now = qvhard::ReadBytes(m_path);
            const Bytes rows(reference.begin() + kHeaderLength, reference.end() - 1);
            if (f.kind == Fault::kOpen || f.n == 1) {
                // The rows wait; the next flush writes them at the same place, and the file ends
                // exactly as if nothing had failed.
                if (f.partial) {
                    EXPECT_EQ(now.size(), kHeaderLength + rows.size() / 2);
                } else {
                    EXPECT_EQ(now, empty);
                }
                EXPECT_EQ(table.GetWriteBuffer()->GetCount(), 3);
                EXPECT_EQ(table.GetNumOfRecords(), 0);
                EXPECT_EQ(qvhard::Get32(now, 4), 0u);
                table.Arm(Fault());
                ASSERT_TRUE(table.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
                EXPECT_EQ(table.GetWriteBuffer()->GetCount(), 0);
                EXPECT_EQ(qvhard::ReadBytes(m_path), reference);
                continue;
            }
            // The rows left the buffer and are on disk; the header there still counts none.
            EXPECT_EQ(table.GetWriteBuffer()->GetCount(), 0);
            EXPECT_FALSE(table.FlushWriteBuffer(ZDbfFile::kOpenReadWrite));
            ASSERT_GE(now.size(), kHeaderLength + rows.size());
            EXPECT_TRUE(std::equal(rows.begin(), rows.end(), now.begin() + kHeaderLength));
            if (f.n == 2) {
                EXPECT_EQ(now.size(), kHeaderLength + rows.size());  // no end byte
                EXPECT_EQ(table.GetNumOfRecords(), 0);
                EXPECT_EQ(qvhard::Get32(now, 4), 0u);
            } else {
                EXPECT_EQ(now.size(), reference.size());
                EXPECT_EQ(now.back(), 0x1A);
                EXPECT_EQ(table.GetNumOfRecords(), 3);  // counted in memory only
                // A torn header write may carry the new count in its first half.
                EXPECT_EQ(qvhard::Get32(now, 4), f.partial ? 3u : 0u);
            }
            // Readers go by the file's length, not its count: the uncounted rows can be read.
            ZDbfFile reader(m_path.c_str(), new RowSchema);
            ASSERT_TRUE(reader.OpenTable(8, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
            ASSERT_TRUE(reader.LoadReadBuffer(0, ZDbfFile::kOpenRead));
            ASSERT_EQ(reader.GetReadBuffer()->GetCount(), 3);
            Row back;
            unsigned char* cursor = reader.GetReadBuffer()->GetRecordPtr(2);
            reader.GetSchema()->ReadFromBuffer(cursor, &back);
            EXPECT_STREQ(back.name, "row 2");
            EXPECT_EQ(back.count, 193);
        }
    }
}

// LoadReadBuffer opens, reads one block and closes. A failed read keeps the block the buffer
// held; a short read counts only the whole rows that arrived. Only opening raises.
TEST_F(FaultInjectionTest, LoadReadBufferSweep) {
    MakeTable(m_path, 5);
    for (int cause : kCauses) {
        const Fault faults[] = {{Fault::kOpen, 1, cause},
                                {Fault::kRead, 1, cause},
                                {Fault::kRead, 1, cause, true},
                                {Fault::kRead, 1, cause, false, true}};
        for (const Fault& f : faults) {
            SCOPED_TRACE(Describe(f));
            Faulty<ZDbfFile> table(m_path.c_str(), new RowSchema);
            ASSERT_TRUE(table.OpenTable(4, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
            ASSERT_TRUE(table.LoadReadBuffer(1, ZDbfFile::kOpenRead));
            ASSERT_EQ(table.GetReadBuffer()->GetCount(), 4);
            table.Arm(f);
            BOOL filled = TRUE;
            const int raised =
                CauseOf([&] { filled = table.LoadReadBuffer(0, ZDbfFile::kOpenRead); });
            EXPECT_FALSE(table.IsOpen());
            if (f.shortRead) {
                EXPECT_EQ(raised, -1);
                EXPECT_TRUE(filled);
                EXPECT_EQ(table.GetReadBuffer()->GetCount(), 2);  // 48 of 96 bytes
                EXPECT_EQ(table.GetReadBuffer()->GetFirst(), 0);
                continue;
            }
            if (f.kind == Fault::kOpen) {
                EXPECT_EQ(raised, cause);
            } else {
                EXPECT_EQ(raised, -1);
                EXPECT_FALSE(filled);
            }
            EXPECT_EQ(table.GetReadBuffer()->GetCount(), 4);
            EXPECT_EQ(table.GetReadBuffer()->GetFirst(), 1);
        }
    }
}

// LoadHeader: a failed open or read raises, a short read is FALSE; the file is closed.
TEST_F(FaultInjectionTest, LoadHeaderSweep) {
    MakeTable(m_path, 2);
    for (int cause : kCauses) {
        const Fault faults[] = {{Fault::kOpen, 1, cause},
                                {Fault::kRead, 1, cause},
                                {Fault::kRead, 1, cause, false, true}};
        for (const Fault& f : faults) {
            SCOPED_TRACE(Describe(f));
            Faulty<ZDbfFile> table(m_path.c_str(), new RowSchema);
            table.Arm(f);
            BOOL read = TRUE;
            const int raised = CauseOf([&] { read = table.LoadHeader(ZDbfFile::kOpenRead); });
            EXPECT_FALSE(table.IsOpen());
            if (f.shortRead) {
                EXPECT_EQ(raised, -1);
                EXPECT_FALSE(read);
            } else {
                EXPECT_EQ(raised, cause);
            }
        }
    }
}

// FillReadBuffer turns every file error into FALSE, whatever the cause.
TEST_F(FaultInjectionTest, FillReadBufferNeverRaises) {
    MakeTable(m_path, 3);
    Faulty<ZDbfFile> table(m_path.c_str(), new RowSchema);
    ASSERT_TRUE(table.OpenTable(2, 0, ZDbfFile::kOpenRead, nullptr, nullptr));
    EXPECT_FALSE(table.FillReadBuffer(0));  // no file open: the read fails inside
    ASSERT_TRUE(table.Open(m_path.c_str(), ZDbfFile::kOpenRead));
    for (int cause = CFileException::genericException; cause <= CFileException::endOfFile;
         ++cause) {
        table.Arm({Fault::kRead, 1, cause});
        BOOL filled = TRUE;
        EXPECT_NO_THROW(filled = table.FillReadBuffer(1)) << cause;
        EXPECT_FALSE(filled);
    }
    table.Close();
}

// Lowers the process's file size limit (the soft one; the hard one stays) and ignores SIGXFSZ
// while it lives, so that writes past the limit fail with EFBIG as on a full quota.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t nBytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = signal(SIGXFSZ, SIG_IGN);
        struct rlimit lowered = m_old;
        lowered.rlim_cur = nBytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, m_oldHandler);
    }
    bool Ok() const { return m_ok; }

  private:
    struct rlimit m_old;
    void (*m_oldHandler)(int);
    bool m_ok = false;
};

// The destructor's flush runs after a derived object is gone, so no override can fail it: the
// file system does. Its failures are swallowed and the pending rows dropped; the file keeps what
// reached it and its header is not rewritten.
TEST_F(FaultInjectionTest, DestructorFlushFailuresAreSwallowed) {
    const std::string refPath = m_dir.PathOf("reference.dbf");
    MakeTable(refPath, 3);
    const Bytes reference = qvhard::ReadBytes(refPath);
    MakeTable(m_path, 0);
    const Bytes empty = qvhard::ReadBytes(m_path);

    // The table is gone before the destructor flushes: opening fails, nothing is created.
    {
        ZDbfFile table(m_path.c_str(), new RowSchema);
        ASSERT_TRUE(table.OpenTable(0, 4, ZDbfFile::kOpenRead, nullptr, nullptr));
        Row r = MakeRow(0);
        ASSERT_TRUE(table.AppendRecord(&r));
        std::remove(m_path.c_str());
    }
    EXPECT_FALSE(qvhard::Exists(m_path));

    // The disk fills at every byte from the end of the header to the end of the rows.
    const size_t rowsEnd = kHeaderLength + 3 * kRecLength;
    for (size_t limit = kHeaderLength; limit <= rowsEnd; limit += 5) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        qvhard::WriteBytes(m_path, empty);
        {
            auto table = std::make_unique<ZDbfFile>(m_path.c_str(), new RowSchema);
            ASSERT_TRUE(table->OpenTable(0, 4, ZDbfFile::kOpenRead, nullptr, nullptr));
            for (int i = 0; i < 3; ++i) {
                Row r = MakeRow(i);
                ASSERT_TRUE(table->AppendRecord(&r));
            }
            FileSizeLimit full(limit);
            ASSERT_TRUE(full.Ok());
            EXPECT_NO_THROW(table.reset());
        }
        const Bytes now = qvhard::ReadBytes(m_path);
        ASSERT_EQ(now.size(), limit);
        EXPECT_TRUE(std::equal(now.begin(), now.begin() + 32, empty.begin()));
        EXPECT_TRUE(
            std::equal(now.begin() + kHeaderLength, now.end(), reference.begin() + kHeaderLength));
    }
}

// --- The alarm reader -----------------------------------------------------------------------

ALMEVENT MakeAlarm(int i) {
    ALMEVENT a;
    std::memset(&a, 0, sizeof a);
    a.date = 1710460800;
    std::snprintf(a.time, sizeof a.time, "12:00:%02d", i);
    a.militime = static_cast<WORD>(i);
    std::strcpy(a.transType, "ALM");
    std::snprintf(a.tagName, sizeof a.tagName, "Boiler%d.Pressure", i);
    a.tagValue = 1.5 * i;
    a.tagType = 'A';
    std::strcpy(a.userId, "operator");
    std::strcpy(a.description, "limit");
    return a;
}

class ReaderFaultTest : public FaultInjectionTest {
  protected:
    void SetUp() override {
        FaultInjectionTest::SetUp();
        ZDbfFile table(m_path.c_str(), new LgaSchema(LGA_SCHEMA_VER_1));
        ASSERT_TRUE(
            table.CreateTable(0, 4, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr));
        for (int i = 0; i < 3; ++i) {
            ALMEVENT a = MakeAlarm(i);
            ASSERT_TRUE(table.AppendRecord(&a));
        }
    }
};

// SetNumOfFields reads the header and 15 descriptors: 32 reads. Whatever fails, the version
// is "none" and no rows can be read; once the faults are gone the reader finds version 1.
TEST_F(ReaderFaultTest, CheckSchemaVerSweep) {
    Counting<LgaDbfFile> counter(m_path.c_str(), new LgaSchema);
    counter.CheckSchemaVer();
    ASSERT_EQ(counter.GetSchemaVer(), LGA_SCHEMA_VER_1);
    ASSERT_EQ(counter.m_nReads, 32);

    for (int cause : kCauses) {
        std::vector<Fault> faults = {{Fault::kOpen, 1, cause}};
        for (int n = 1; n <= 32; ++n) {
            faults.push_back({Fault::kRead, n, cause});
        }
        for (const Fault& f : faults) {
            SCOPED_TRACE(Describe(f));
            Faulty<LgaDbfFile> reader(m_path.c_str(), new LgaSchema);
            reader.Arm(f);
            EXPECT_NO_THROW(reader.CheckSchemaVer());
            EXPECT_EQ(reader.GetSchemaVer(), LGA_SCHEMA_VER_NONE);
            EXPECT_EQ(reader.GetReadBuffer(), nullptr);
            EXPECT_FALSE(reader.IsOpen());
            ALMEVENT a;
            EXPECT_EQ(reader.ReadRecord(0, &a), 0);
            reader.Arm(Fault());
            reader.CheckSchemaVer();  // no count was found: it looks again
            EXPECT_EQ(reader.GetSchemaVer(), LGA_SCHEMA_VER_1);
        }
    }
}

// A later SetNumOfFields that fails: 0 when the table cannot be opened or its header read, the
// count found before when the descriptors are refused.
TEST_F(ReaderFaultTest, SetNumOfFieldsAfterACountWasFound) {
    for (int n = 0; n <= 32; ++n) {
        const Fault f = n == 0 ? Fault{Fault::kOpen, 1} : Fault{Fault::kRead, n};
        SCOPED_TRACE(Describe(f));
        Faulty<LgaDbfFile> reader(m_path.c_str(), new LgaSchema);
        ASSERT_EQ(reader.SetNumOfFields(), 15);
        reader.Arm(f);
        EXPECT_EQ(reader.SetNumOfFields(), n <= 1 ? 0 : 15);
    }
}

// ReadRecord through the host's open file: a failed fill gives 0 and the next call for the same
// row reads it right. The read may have put part of the failed block into the buffer: the row the
// buffer held before must not be converted from it.
TEST_F(ReaderFaultTest, ReadRecordAfterFailedFills) {
    for (int cause : kCauses) {
        for (bool partial : {false, true}) {
            SCOPED_TRACE(std::to_string(cause) + (partial ? " partial" : ""));
            Faulty<LgaDbfFile> reader(m_path.c_str(), new LgaSchema);
            reader.CheckSchemaVer();
            ASSERT_TRUE(reader.Open(m_path.c_str(), CFile::modeRead | CFile::shareDenyNone));
            ALMEVENT a;
            ASSERT_EQ(reader.ReadRecord(0, &a), 1);
            EXPECT_STREQ(a.tagName, "Boiler0.Pressure");

            reader.Arm({Fault::kRead, 1, cause, partial});
            EXPECT_EQ(reader.ReadRecord(2, &a), 0);
            reader.Arm(Fault());
            ASSERT_EQ(reader.ReadRecord(0, &a), 1);
            EXPECT_STREQ(a.tagName, "Boiler0.Pressure");
            EXPECT_STREQ(a.time, "12:00:00");
            ASSERT_EQ(reader.ReadRecord(2, &a), 1);
            EXPECT_STREQ(a.tagName, "Boiler2.Pressure");
            const double tagValue = a.tagValue;  // copied out of the packed record
            EXPECT_EQ(tagValue, 3.0);
            reader.Close();
        }
    }
}

}  // namespace
