// Test helpers of the table engine suites: a schema that converts a record of plain cells, an
// in-memory file, a table file that fails on command, a fixed time zone and golden-file bytes.
#ifndef QUORVEL_TESTS_DBF_DBFTESTUTIL_H
#define QUORVEL_TESTS_DBF_DBFTESTUTIL_H

#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace qvtest {

// One column of a test layout.
struct ColumnSpec {
    const char* pszName;
    char chType;
    unsigned char nWidth;
    unsigned char nDecimals;
    int bText = 1;  // 'C' only
};

// A caller's record for TestSchema: cell i holds the value of column i in the representation
// the column's field converts ('C' text, 'D' TIME32, 'F' double, 'L' int32, 'N' LONG). A cell
// is big enough for a text column of width 255 and its terminator.
struct TestRecord {
    static constexpr int kMaxColumns = 8;
    static constexpr size_t kCellSize = 256;
    unsigned char m_cells[kMaxColumns][kCellSize];

    TestRecord() { std::memset(m_cells, 0, sizeof m_cells); }

    void* Cell(int i) { return m_cells[i]; }
    void SetText(int i, const char* psz) {
        std::memset(m_cells[i], 0, kCellSize);
        std::strncpy(reinterpret_cast<char*>(m_cells[i]), psz, kCellSize - 1);
    }
    std::string Text(int i) const { return reinterpret_cast<const char*>(m_cells[i]); }
    template <typename T>
    void Set(int i, T value) {
        qv::StoreUnaligned<T>(m_cells[i], value);
    }
    template <typename T>
    T Get(int i) const {
        return qv::LoadUnaligned<T>(m_cells[i]);
    }
};

// A new field for the column, made with the attribute constructors ('D' and 'L' take their fixed
// widths; the column's width is then ignored).
inline ZDbfField* NewField(const ColumnSpec& c) {
    switch (c.chType) {
        case 'C':
            return new DbfStringField(c.pszName, c.nWidth, c.bText);
        case 'D':
            return new DbfDateField(c.pszName);
        case 'F':
            return new DbfFloatField(c.pszName, c.nWidth, c.nDecimals);
        case 'L':
            return new DbfBooleanField(c.pszName);
        case 'N':
            return new DbfNumericField(c.pszName, c.nWidth, c.nDecimals);
        default:
            return new ZDbfField(c.pszName, c.chType, c.nWidth, c.nDecimals);
    }
}

// A 32-byte descriptor with the given attributes, the other bytes zero.
inline ZDbfField::DbfFldDesc MakeDesc(const char* pszName, char chType, BYTE nWidth,
                                      BYTE nDecimals = 0) {
    ZDbfField::DbfFldDesc desc;
    std::memset(&desc, 0, sizeof desc);
    desc.SetName(pszName);
    desc.SetType(chType);
    desc.SetWidth(nWidth);
    desc.SetDecimals(nDecimals);
    return desc;
}

// A schema of a layout given at construction. It builds its columns in CreateFieldDesc and
// converts a TestRecord cell by cell, whichever fields it holds (built, or read from a table):
// the test stand-in for the alarm and event schemas.
class TestSchema : public ZDbfSchema {
  public:
    explicit TestSchema(std::vector<ColumnSpec> columns = {}) : m_columns(std::move(columns)) {}

    void CreateFieldDesc() override {
        for (size_t i = 0; i < m_columns.size(); ++i) {
            SetField(static_cast<int>(i), NewField(m_columns[i]));
        }
    }
    void WriteToBuffer(unsigned char*& cursor, void* record) override {
        TestRecord* rec = static_cast<TestRecord*>(record);
        *cursor++ = ' ';  // deletion flag: a live row
        for (int i = 0; i < GetSize() && i < TestRecord::kMaxColumns; ++i) {
            if (ZDbfField* f = GetField(i)) {
                f->WriteToBuffer(cursor, rec->Cell(i));
            }
        }
    }
    void ReadFromBuffer(unsigned char*& cursor, void* record) override {
        TestRecord* rec = static_cast<TestRecord*>(record);
        ++cursor;
        for (int i = 0; i < GetSize() && i < TestRecord::kMaxColumns; ++i) {
            if (ZDbfField* f = GetField(i)) {
                f->ReadFromBuffer(cursor, rec->Cell(i));
            }
        }
    }

  private:
    std::vector<ColumnSpec> m_columns;
};

// The table of the golden example: C width 10, N width 5, D width 8 (header length 129, record
// length 24).
inline std::vector<ColumnSpec> GoldenColumns() {
    return {{"NAME", 'C', 10, 0}, {"COUNT", 'N', 5, 0}, {"DAY", 'D', 8, 0}};
}

// A CFile over bytes in memory, for the schema's descriptor reads and writes. Read and Write work
// at their own position; the n-th call of either can be made to raise.
class MemFile : public CFile {
  public:
    explicit MemFile(Bytes bytes = {}, size_t nPos = 0) : m_bytes(std::move(bytes)), m_nPos(nPos) {}

    UINT Read(void* lpBuf, UINT nCount) override {
        if (++m_nReads == m_nFailRead) {
            AfxThrowFileException(CFileException::hardIO, EIO, nullptr);
        }
        const size_t n =
            m_nPos < m_bytes.size() ? std::min<size_t>(nCount, m_bytes.size() - m_nPos) : 0;
        if (n > 0) {
            std::memcpy(lpBuf, m_bytes.data() + m_nPos, n);
            m_nPos += n;
        }
        return static_cast<UINT>(n);
    }
    void Write(const void* lpBuf, UINT nCount) override {
        if (++m_nWrites == m_nFailWrite) {
            AfxThrowFileException(CFileException::diskFull, ENOSPC, nullptr);
        }
        const unsigned char* p = static_cast<const unsigned char*>(lpBuf);
        if (m_bytes.size() < m_nPos + nCount) {
            m_bytes.resize(m_nPos + nCount);
        }
        std::memcpy(m_bytes.data() + m_nPos, p, nCount);
        m_nPos += nCount;
    }

    Bytes m_bytes;
    size_t m_nPos;
    int m_nReads = 0;
    int m_nWrites = 0;
    int m_nFailRead = 0;   // 1-based number of the Read call that raises; 0: none
    int m_nFailWrite = 0;  // likewise for Write
};

// A table file whose Open, Read and Write fail on command: the seam for the engine's fault paths
// (no full disk or broken device needed). A failing Write writes nothing.
class FaultyDbfFile : public ZDbfFile {
  public:
    using ZDbfFile::ZDbfFile;

    BOOL Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError) override {
        ++m_nOpens;
        if (m_nOpenCause != CFileException::none) {
            if (pError != nullptr) {
                pError->m_cause = m_nOpenCause;
                pError->m_lOsError = EACCES;
                pError->m_strFileName = lpszFileName;
            }
            return FALSE;
        }
        return ZDbfFile::Open(lpszFileName, nOpenFlags, pError);
    }
    UINT Read(void* lpBuf, UINT nCount) override {
        if (++m_nReads == m_nFailRead) {
            AfxThrowFileException(m_nReadCause, EIO, GetFilePath());
        }
        return ZDbfFile::Read(lpBuf, nCount);
    }
    void Write(const void* lpBuf, UINT nCount) override {
        if (++m_nWrites == m_nFailWrite) {
            AfxThrowFileException(m_nWriteCause, ENOSPC, GetFilePath());
        }
        ZDbfFile::Write(lpBuf, nCount);
    }

    // Makes the header image count n rows, as a header read from a long table would.
    void SetHeaderRecordCount(LONG n) { m_header.SetNumRecords(n); }

    int m_nOpenCause = CFileException::none;
    int m_nOpens = 0;
    int m_nReads = 0;
    int m_nFailRead = 0;  // 1-based number of the Read call that raises; 0: none
    int m_nReadCause = CFileException::hardIO;
    int m_nWrites = 0;
    int m_nFailWrite = 0;  // 1-based number of the Write call that raises; 0: none
    int m_nWriteCause = CFileException::diskFull;
};

// Runs f, which must raise a CFileException*, and returns the exception's cause, OS error and
// file name (the exception is deleted). nullopt when nothing or something else was raised.
struct FileError {
    int m_cause;
    LONG m_lOsError;
    std::string m_strFileName;
};
template <typename F>
std::optional<FileError> CatchFileError(F&& f) {
    try {
        f();
    } catch (CFileException* e) {
        FileError err{e->m_cause, e->m_lOsError, e->m_strFileName.GetString()};
        e->Delete();
        return err;
    } catch (CException* e) {
        e->Delete();
    }
    return std::nullopt;
}

// Sets the process's time zone for the guard's lifetime (TZ and tzset), then restores it.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* pszTz) {
        m_env.emplace("TZ", pszTz);
        tzset();
    }
    ~ScopedTimeZone() {
        m_env.reset();
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::optional<ScopedEnv> m_env;
};

// Central European time with its daylight saving rules, as a POSIX TZ string (no zone database
// needed): UTC+1 in winter, UTC+2 in summer.
constexpr const char* kTestTimeZone = "CET-1CEST,M3.5.0,M10.5.0/3";

// The local date now, as the header stores it: years since 1900, month, day.
struct HeaderDate {
    int nYear;
    int nMonth;
    int nDay;
    bool operator==(const HeaderDate& o) const {
        return nYear == o.nYear && nMonth == o.nMonth && nDay == o.nDay;
    }
};
inline HeaderDate TodayForHeader() {
    const time_t now = time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    return {local.tm_year & 0xFF, local.tm_mon + 1, local.tm_mday};
}

// The golden C10/N5/D8 table as created, with the header date given.
inline Bytes GoldenCreated(const HeaderDate& date) {
    Bytes b = {
        // header: version 3, date, 0 records, header length 129, record length 24
        0x03, static_cast<unsigned char>(date.nYear), static_cast<unsigned char>(date.nMonth),
        static_cast<unsigned char>(date.nDay), 0, 0, 0, 0, 0x81, 0x00, 0x18, 0x00, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        // NAME C, offset 1, width 10
        'N', 'A', 'M', 'E', 0, 0, 0, 0, 0, 0, 0, 'C', 1, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0,
        // COUNT N, offset 11, width 5
        'C', 'O', 'U', 'N', 'T', 0, 0, 0, 0, 0, 0, 'N', 11, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0,
        // DAY D, offset 16, width 8
        'D', 'A', 'Y', 0, 0, 0, 0, 0, 0, 0, 0, 'D', 16, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0,
        // terminator
        0x0D};
    return b;
}

// The text in double quotes with bytes outside printable ASCII as \xNN: readable names for
// parameterised cases (CTest names a case after what PrintTo prints).
inline std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out + "\"";
}

inline void AppendText(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}

// The rows of the golden table: a caller's record and the row bytes it becomes (dates in
// kTestTimeZone).
inline TestRecord GoldenRecord(int i) {
    TestRecord r;
    if (i == 0) {
        r.SetText(0, "ABC");
        r.Set<LONG>(1, 42);
        r.Set<TIME32>(2, 1706709600);  // 2024-01-31 15:00 CET
    } else {
        r.SetText(0, "LONGER NAME!");
        r.Set<LONG>(1, -7);
        r.Set<TIME32>(2, 1720994400);  // 2024-07-15 00:00 CEST
    }
    return r;
}
inline std::string GoldenRowText(int i) {
    return i == 0 ? " ABC          4220240131" : " LONGER NAM   -720240715";
}

}  // namespace qvtest

#endif  // QUORVEL_TESTS_DBF_DBFTESTUTIL_H
