#include "RowSource.h"

#include <cstring>

#include "ByteOrder.h"
#include "DbfFloatField.h"
#include "LgaDbfFile.h"
#include "LgeDbfFile.h"
#include "LogRecords.h"
#include "ZDbfFile.h"

namespace qvtool {

namespace {

constexpr UINT kReadFlags = CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary;

// Record member names, in column order.
const char* const kAlarmMembers[] = {
    "date",    "time",      "militime",    "transType",   "tagName",   "tagValue",
    "tagType", "threshVal", "threshNum",   "threshLabel", "severity",  "dstFlag",
    "userId",  "alarmType", "description", "userStn",     "loggingStn"};
const char* const kEventMembers[] = {"type",     "id",          "date",     "time",
                                     "militime", "dstFlag",     "category", "source",
                                     "user",     "description", "userStn",  "loggingStn"};

void UseDotSeparator(ZDbfField* pField) {
    if (pField != nullptr && pField->IsKindOf(RUNTIME_CLASS(DbfFloatField))) {
        DbfFloatField* pFloat = static_cast<DbfFloatField*>(pField);
        pFloat->m_szDecimalSep[0] = '.';  // see UseDotSeparators
        pFloat->m_szDecimalSep[1] = '\0';
    }
}

std::string ExceptionText(CException* e) {
    char text[256] = "unknown error";
    e->GetErrorMessage(text, sizeof text);
    return text;
}

void SetText(Cell& cell, const char* p, size_t size) {
    cell.SetText(p, strnlen(p, size));
}

// A raw one-byte column: a blank or NUL is no text.
void SetRawByte(Cell& cell, char b) {
    if (b == ' ' || b == '\0') {
        cell.SetText("", 0);
    } else {
        cell.SetText(&b, 1);
    }
}

void FillCells(const ALMEVENT& r, Row& row) {
    // Packed members are copied out as values, never referenced.
    row[0].SetDate(r.date);
    SetText(row[1], r.time, sizeof r.time);
    row[2].SetInteger(WORD{r.militime});
    SetText(row[3], r.transType, sizeof r.transType);
    SetText(row[4], r.tagName, sizeof r.tagName);
    row[5].SetReal(double{r.tagValue});
    SetRawByte(row[6], r.tagType);
    row[7].SetReal(double{r.threshVal});
    row[8].SetInteger(WORD{r.threshNum});
    SetText(row[9], r.threshLabel, sizeof r.threshLabel);
    row[10].SetInteger(WORD{r.severity});
    SetRawByte(row[11], r.dstFlag);
    SetText(row[12], r.userId, sizeof r.userId);
    row[13].SetInteger(WORD{r.alarmType});
    SetText(row[14], r.description, sizeof r.description);
    if (row.size() > 16) {
        SetText(row[15], r.userStn, sizeof r.userStn);
        SetText(row[16], r.loggingStn, sizeof r.loggingStn);
    }
}

void FillCells(const LOGEVENT2& r, Row& row) {
    row[0].SetInteger(WORD{r.type});
    row[1].SetInteger(LONG{r.id});
    row[2].SetDate(r.date);
    SetText(row[3], r.time, sizeof r.time);
    row[4].SetInteger(WORD{r.militime});
    SetRawByte(row[5], r.dstFlag);
    SetText(row[6], r.category, sizeof r.category);
    SetText(row[7], r.source, sizeof r.source);
    SetText(row[8], r.user, sizeof r.user);
    SetText(row[9], r.description, sizeof r.description);
    if (row.size() > 11) {
        SetText(row[10], r.userStn, sizeof r.userStn);
        SetText(row[11], r.loggingStn, sizeof r.loggingStn);
    }
}

template <typename Reader, typename Schema, typename Record, typename Version, size_t N>
class LogSource : public RowSource {
  public:
    bool Init(const std::string& path, int nRevision, const char* const (&members)[N],
              std::string& reason) {
        std::unique_ptr<Schema> schema(new Schema(static_cast<Version>(nRevision)));
        m_reader.reset(new Reader(path.c_str(), schema.get()));
        schema.release();  // the reader owns it now
        m_reader->CheckSchemaVer();
        const Version ver = m_reader->GetSchemaVer();
        if (static_cast<int>(ver) != nRevision) {
            reason = "the table changed while it was being opened";
            return false;
        }
        // A read buffer of about 64 KiB instead of the probe's one row.
        if (!m_reader->OpenTable(-1, 0, ZDbfFile::kOpenRead, nullptr, nullptr)) {
            reason = "the table engine refuses its header or column descriptors";
            return false;
        }
        m_reader->SetSchemaVer(ver);  // reading the descriptors again may have raised it
        ZDbfSchema* pSchema = m_reader->GetSchema();
        for (int i = 0; i < pSchema->GetSize() && i < static_cast<int>(N); ++i) {
            ZDbfField* pField = pSchema->GetField(i);
            UseDotSeparator(pField);
            if (pField != nullptr) {
                m_columns.push_back({members[i], pField->GetType(), pField->GetWidth()});
            }
        }
        // Revision 1 lacks the last two columns; FillCells counts on one or the other.
        if (m_columns.size() != (nRevision == 2 ? N : N - 2)) {
            reason = "the table changed while it was being opened";
            return false;
        }
        CFileException error;
        if (!m_reader->Open(path.c_str(), kReadFlags, &error)) {
            reason = std::strerror(static_cast<int>(error.m_lOsError));
            return false;
        }
        return true;
    }

    bool Read(long nRow, Row& row) override {
        if (nRow < 0 || nRow > INT32_MAX) {
            return false;
        }
        std::memset(&m_record, 0, sizeof m_record);
        if (m_reader->ReadRecord(static_cast<LONG>(nRow), &m_record) != 1) {
            return false;
        }
        row.resize(m_columns.size());
        FillCells(m_record, row);
        return true;
    }

    int FileDescriptor() const override { return m_reader->m_hFile; }

  private:
    std::unique_ptr<Reader> m_reader;
    Record m_record;
};

using AlarmSource = LogSource<LgaDbfFile, LgaSchema, ALMEVENT, LGA_SCHEMA_VER,
                              sizeof kAlarmMembers / sizeof kAlarmMembers[0]>;
using EventSource = LogSource<LgeDbfFile, LgeSchema, LOGEVENT2, LGE_SCHEMA_VER,
                              sizeof kEventMembers / sizeof kEventMembers[0]>;

// Any table, column by column through the generic schema's field objects.
class GenericSource : public RowSource {
  public:
    bool Init(const std::string& path, std::string& reason) {
        m_file.reset(new ZDbfFile(path.c_str(), new ZDbfSchema));
        if (!m_file->OpenTable(-1, 0, ZDbfFile::kOpenRead, nullptr, nullptr)) {
            reason = "the table engine refuses its header or column descriptors";
            return false;
        }
        ZDbfSchema* pSchema = m_file->GetSchema();
        for (int i = 0; i < pSchema->GetSize(); ++i) {
            ZDbfField* pField = pSchema->GetField(i);
            if (pField == nullptr) {
                continue;
            }
            ColumnReader reader;
            reader.pField = pField;
            reader.chType = pField->GetType();
            reader.nWidth = pField->GetWidth();
            // The numeric field reads a 32-bit integer: a fraction or a wider number would be
            // lost, so those columns read as doubles through a float field of the same shape.
            if (reader.chType == 'N' && (pField->GetDecimals() != 0 || reader.nWidth > 9)) {
                reader.pOwned.reset(new DbfFloatField(pField->GetName(), pField->GetWidth(),
                                                      pField->GetDecimals()));
                reader.pField = reader.pOwned.get();
                reader.bReal = true;
            }
            UseDotSeparator(reader.pField);
            m_columns.push_back({std::string(pField->GetName()), reader.chType, reader.nWidth});
            m_readers.push_back(std::move(reader));
        }
        CFileException error;
        if (!m_file->Open(path.c_str(), kReadFlags, &error)) {
            reason = std::strerror(static_cast<int>(error.m_lOsError));
            return false;
        }
        return true;
    }

    bool Read(long nRow, Row& row) override {
        ZDbfRecordBuffer* pBuf = m_file->GetReadBuffer();
        if (pBuf == nullptr || nRow < 0 || nRow > INT32_MAX) {
            return false;
        }
        const long long first = pBuf->GetFirst();
        if (pBuf->GetCount() <= 0 || nRow < first || nRow >= first + pBuf->GetCount()) {
            if (!m_file->FillReadBuffer(static_cast<LONG>(nRow)) || pBuf->GetCount() <= 0) {
                return false;
            }
        }
        unsigned char* cursor = pBuf->GetRecordPtr(static_cast<LONG>(nRow - pBuf->GetFirst()));
        ++cursor;  // the deletion flag
        row.resize(m_readers.size());
        for (size_t i = 0; i < m_readers.size(); ++i) {
            Convert(m_readers[i], cursor, row[i]);
        }
        return true;
    }

    int FileDescriptor() const override { return m_file->m_hFile; }

  private:
    struct ColumnReader {
        ZDbfField* pField = nullptr;  // the schema's, or pOwned
        std::unique_ptr<ZDbfField> pOwned;
        char chType = 'C';
        int nWidth = 0;
        bool bReal = false;
    };

    static bool IsBlank(const unsigned char* p, int n) {
        for (int i = 0; i < n; ++i) {
            if (p[i] != ' ') {
                return false;
            }
        }
        return true;
    }

    static void Convert(const ColumnReader& reader, unsigned char*& cursor, Cell& cell) {
        // Room for any conversion: a text of width 255 and its NUL, or an 8-byte value.
        alignas(8) unsigned char scratch[264] = {};
        if (reader.chType != 'C' && IsBlank(cursor, reader.nWidth)) {
            cell.SetNull();  // a blank number, date or logical has no value
            cursor += reader.nWidth;
            return;
        }
        const unsigned char first = reader.nWidth > 0 ? cursor[0] : ' ';
        reader.pField->ReadFromBuffer(cursor, scratch);
        switch (reader.chType) {
            case 'C':
                SetText(cell, reinterpret_cast<const char*>(scratch), sizeof scratch);
                break;
            case 'D':
                cell.SetDate(qv::LoadUnaligned<TIME32>(scratch));
                break;
            case 'F':
                cell.SetReal(qv::LoadUnaligned<double>(scratch));
                break;
            case 'L':
                if (first == '?') {
                    cell.SetNull();  // "not known yet"
                } else {
                    cell.SetBool(qv::LoadUnaligned<int32_t>(scratch) != 0);
                }
                break;
            default:
                if (reader.bReal) {
                    cell.SetReal(qv::LoadUnaligned<double>(scratch));
                } else {
                    cell.SetInteger(qv::LoadUnaligned<LONG>(scratch));
                }
                break;
        }
    }

    std::unique_ptr<ZDbfFile> m_file;
    std::vector<ColumnReader> m_readers;
};

}  // namespace

std::unique_ptr<RowSource> RowSource::Open(const std::string& path, const TableIdentity& identity,
                                           std::string& reason) {
    try {
        bool bOpened = false;
        std::unique_ptr<RowSource> source;
        if (identity.kind == TableKind::kAlarm) {
            auto p = std::make_unique<AlarmSource>();
            bOpened = p->Init(path, identity.nRevision, kAlarmMembers, reason);
            source = std::move(p);
        } else if (identity.kind == TableKind::kEvent) {
            auto p = std::make_unique<EventSource>();
            bOpened = p->Init(path, identity.nRevision, kEventMembers, reason);
            source = std::move(p);
        } else {
            auto p = std::make_unique<GenericSource>();
            bOpened = p->Init(path, reason);
            source = std::move(p);
        }
        if (bOpened) {
            return source;
        }
    } catch (CException* e) {
        reason = ExceptionText(e);
        e->Delete();
    }
    return nullptr;
}

}  // namespace qvtool
