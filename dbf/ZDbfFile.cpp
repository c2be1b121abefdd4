#include "ZDbfFile.h"

#include <climits>
#include <cstring>
#include <ctime>

IMPLEMENT_DYNAMIC(ZDbfFile, CFile)

namespace {

const WORD kHeaderBytesPerField = 32;
const WORD kHeaderBytesFixed = 33;  // the 32-byte header and the descriptor terminator

}  // namespace

ZDbfFile::ZDbfFile(const CString& strPath, ZDbfSchema* pSchema)
    : m_strPath(strPath),
      m_pSchema(pSchema),
      m_pWriteBuf(nullptr),
      m_pReadBuf(nullptr),
      m_header() {}

ZDbfFile::~ZDbfFile() {
    if (m_pWriteBuf != nullptr) {
        try {
            FlushWriteBuffer(kOpenReadWrite);
        } catch (CException* e) {
            e->Delete();  // pending rows whose flush fails are dropped
        } catch (...) {
        }
    }
    delete m_pWriteBuf;
    delete m_pReadBuf;
    delete m_pSchema;
}

void ZDbfFile::OpenOrRaise(WORD nOpenFlags) {
    CFileException local(CFileException::none, -1, nullptr);
    if (!Open(m_strPath, nOpenFlags, &local)) {
        AfxThrowFileException(local.m_cause, -1, nullptr);
    }
}

LONGLONG ZDbfFile::RecordPosition(LONG nRecord) const {
    return static_cast<LONGLONG>(m_header.GetHeaderLength()) +
           static_cast<LONGLONG>(nRecord) * m_header.GetRecordLength();
}

void ZDbfFile::StampDate() {
    const time_t now = time(nullptr);
    struct tm local = {};
    if (localtime_r(&now, &local) != nullptr) {
        m_header.SetDate(static_cast<BYTE>(local.tm_year & 0xFF),
                         static_cast<BYTE>(local.tm_mon + 1), static_cast<BYTE>(local.tm_mday));
    }
}

BOOL ZDbfFile::CreateTable(LONG nReadRecs, LONG nWriteRecs, WORD nOpenFlags, void* pReadMem,
                           void* pWriteMem) {
    if (m_pSchema == nullptr) {
        return FALSE;
    }
    m_pSchema->CreateFieldDesc();
    // A header stores the header length and the record length in 16 bits each.
    if (m_pSchema->GetNumOfFields() > ZDbfSchema::kMaxFields || m_pSchema->GetRowBytes() > 0xFFFF) {
        return FALSE;
    }
    InitHeader();
    OpenOrRaise(nOpenFlags);
    try {
        WriteHeader(TRUE);
    } catch (CFileException* e) {
        CFileStatus status;
        const BOOL haveStatus = GetStatus(status);
        Abort();
        const int cause = e->m_cause;
        e->Delete();
        // Only a file that the full disk left empty is removed: one that holds bytes may be
        // somebody's table.
        if (cause == CFileException::diskFull && haveStatus && status.m_size == 0) {
            try {
                CFile::Remove(m_strPath);
            } catch (CException* removeError) {
                removeError->Delete();
            }
        }
        AfxThrowFileException(cause, -1, nullptr);
    } catch (CException*) {
        Abort();
        throw;
    }
    Close();
    CreateBuffers(nReadRecs, nWriteRecs, pReadMem, pWriteMem);
    return TRUE;
}

BOOL ZDbfFile::OpenTable(LONG nReadRecs, LONG nWriteRecs, WORD nOpenFlags, void* pReadMem,
                         void* pWriteMem) {
    if (m_pSchema == nullptr) {
        return FALSE;
    }
    OpenOrRaise(nOpenFlags);
    // Rows still pending in the write buffer belong to the table opened before; a refused table
    // must not leave its header image for their flush.
    const DbfHeader previousHeader = m_header;
    BOOL accepted = FALSE;
    try {
        accepted = ReadHeader() && m_pSchema->ReadFieldDescs(this) == 1;
    } catch (CException*) {
        Abort();
        m_header = previousHeader;
        throw;
    }
    Close();
    // Rows are converted column by column through the schema's widths: a record length that
    // does not hold them would make a conversion run past its row.
    const WORD recLen = GetRecordLength();
    if (accepted && (recLen == 0 || recLen < m_pSchema->GetRowBytes())) {
        accepted = FALSE;
    }
    // Rows that start inside the header or the descriptors would read those bytes as columns,
    // and rows appended there would be overwritten by the next header write.
    const DWORD descriptorBytes =
        kHeaderBytesPerField * DWORD{m_pSchema->GetNumOfFields()} + kHeaderBytesFixed;
    if (accepted && GetHeaderLength() < descriptorBytes) {
        accepted = FALSE;
    }
    if (!accepted) {
        // The schema now describes the refused table: rows held for the table opened before
        // must not be converted with it.
        DeleteReadBuffer();
        m_header = previousHeader;
        return FALSE;
    }
    CreateBuffers(nReadRecs, nWriteRecs, pReadMem, pWriteMem);
    return TRUE;
}

BOOL ZDbfFile::AppendRecord(void* pRecord) {
    if (m_pWriteBuf == nullptr || m_pSchema == nullptr || IsWriteBufferFull()) {
        return FALSE;
    }
    // The schema writes its own widths; the slot is one record length long.
    if (m_pSchema->GetRowBytes() > m_pWriteBuf->GetRecordLength()) {
        return FALSE;
    }
    unsigned char* cursor = m_pWriteBuf->GetRecordPtr(-1);
    // A schema may convert fewer columns than the table has (a version-1 log schema on a
    // version-2 table); the rest of the slot would reach the file as whatever the storage held.
    std::memset(cursor, ' ', m_pWriteBuf->GetRecordLength());
    m_pSchema->WriteToBuffer(cursor, pRecord);
    return TRUE;
}

BOOL ZDbfFile::IsWriteBufferFull() {
    return m_pWriteBuf != nullptr && m_pWriteBuf->GetCount() >= m_pWriteBuf->GetCapacity();
}

BOOL ZDbfFile::FlushWriteBuffer(WORD nOpenFlags) {
    if (m_pWriteBuf == nullptr) {
        return FALSE;
    }
    const LONG n = m_pWriteBuf->GetCount();
    if (n <= 0) {
        return FALSE;
    }
    // The header's record count is a signed 32-bit number: a table cannot count more rows.
    if (static_cast<LONGLONG>(GetNumOfRecords()) + n > INT32_MAX) {
        AfxThrowFileException(CFileException::diskFull, -1, nullptr);
    }
    // A negative count comes only from a damaged header; rows appended at it would land on the
    // header and the descriptors.
    if (GetNumOfRecords() < 0) {
        AfxThrowFileException(CFileException::invalidFile, -1, nullptr);
    }
    OpenOrRaise(nOpenFlags);
    try {
        WriteRecords(m_pWriteBuf->GetData(), n, GetNumOfRecords());
        m_pWriteBuf->SetCount(0);
        WriteEofMarker();
        AddNumOfRecords(n);
        WriteHeader(FALSE);
        Close();
    } catch (CFileException* e) {
        Abort();
        const int cause = e->m_cause;
        e->Delete();
        AfxThrowFileException(cause, -1, nullptr);
    } catch (CException*) {
        Abort();
        throw;
    }
    return TRUE;
}

BOOL ZDbfFile::AddAttributes(BYTE nAttrib) {
    CFileStatus status;
    if (!CFile::GetStatus(m_strPath, status)) {
        return FALSE;
    }
    status.m_attribute |= nAttrib;
    CFile::SetStatus(m_strPath, status);
    return TRUE;
}

BOOL ZDbfFile::RemoveAttributes(BYTE nAttrib) {
    CFileStatus status;
    if (!CFile::GetStatus(m_strPath, status)) {
        return FALSE;
    }
    status.m_attribute &= static_cast<BYTE>(~nAttrib);
    CFile::SetStatus(m_strPath, status);
    return TRUE;
}

BOOL ZDbfFile::LoadReadBuffer(LONG nRecord, WORD nOpenFlags) {
    if (m_pReadBuf == nullptr) {
        return FALSE;
    }
    OpenOrRaise(nOpenFlags);
    const BOOL filled = FillReadBuffer(nRecord);
    Close();
    return filled;
}

void ZDbfFile::InitHeader() {
    m_header = DbfHeader();
    StampDate();
    m_header.SetVersion(DbfHeader::kVersionDBase3);
    const WORD nFields = m_pSchema != nullptr ? m_pSchema->GetNumOfFields() : 0;
    m_header.SetHeaderLength(static_cast<WORD>(kHeaderBytesPerField * nFields + kHeaderBytesFixed));
    m_header.SetRecordLength(m_pSchema != nullptr ? m_pSchema->GetRecordLength() : 1);
}

BOOL ZDbfFile::ReadHeader() {
    return Read(m_header.m_bytes, DbfHeader::kSize) == DbfHeader::kSize;
}

BOOL ZDbfFile::WriteHeader(BOOL bFieldDescs) {
    if (Seek(0, CFile::begin) != 0) {
        return FALSE;
    }
    StampDate();
    Write(m_header.m_bytes, DbfHeader::kSize);
    if (bFieldDescs && m_pSchema != nullptr) {
        return m_pSchema->WriteFieldDescs(this);
    }
    return TRUE;
}

void ZDbfFile::CreateBuffers(LONG nReadRecs, LONG nWriteRecs, void* pReadMem, void* pWriteMem) {
    const WORD recLen = GetRecordLength();
    if (nWriteRecs != 0) {
        ZDbfRecordBuffer* pBuf = new ZDbfRecordBuffer(recLen, nWriteRecs, pWriteMem);
        delete m_pWriteBuf;
        m_pWriteBuf = pBuf;
    }
    if (nReadRecs != 0) {
        ZDbfRecordBuffer* pBuf = new ZDbfRecordBuffer(recLen, nReadRecs, pReadMem);
        delete m_pReadBuf;
        m_pReadBuf = pBuf;
    }
}

BOOL ZDbfFile::FillReadBuffer(LONG nRecord) {
    if (m_pReadBuf == nullptr) {
        return FALSE;
    }
    try {
        const LONG n = ReadRecords(m_pReadBuf->GetData(), m_pReadBuf->GetCapacity(), nRecord);
        m_pReadBuf->SetCount(n);
        m_pReadBuf->SetFirst(nRecord);
        return TRUE;
    } catch (CFileException* e) {
        e->Delete();
        return FALSE;
    }
}

BOOL ZDbfFile::WriteRecords(const void* pData, LONG nRecs, LONG nFirst) {
    const LONGLONG pos = RecordPosition(nFirst);
    const LONGLONG bytes = static_cast<LONGLONG>(nRecs) * GetRecordLength();
    // A negative row would land in the header or the descriptors.
    if (nFirst < 0 || bytes < 0 || bytes > UINT_MAX) {
        return FALSE;
    }
    if (Seek(pos, CFile::begin) != static_cast<ULONGLONG>(pos)) {
        return FALSE;
    }
    Write(pData, static_cast<UINT>(bytes));
    return TRUE;
}

LONG ZDbfFile::ReadRecords(void* pData, LONG nRecs, LONG nFirst) {
    const WORD recLen = GetRecordLength();
    const LONGLONG pos = RecordPosition(nFirst);
    const LONGLONG bytes = static_cast<LONGLONG>(nRecs) * recLen;
    if (recLen == 0 || nRecs <= 0 || nFirst < 0 || bytes > UINT_MAX) {
        return 0;
    }
    if (Seek(pos, CFile::begin) != static_cast<ULONGLONG>(pos)) {
        return 0;
    }
    UINT got = Read(pData, static_cast<UINT>(bytes));
    // With one-byte rows (a table without columns) the end byte 0x1A would pass for a whole row;
    // it is one only when more bytes follow it.
    if (recLen == 1 && got > 0 && static_cast<const BYTE*>(pData)[got - 1] == kEofMarker &&
        GetPosition() >= GetLength()) {
        --got;
    }
    return static_cast<LONG>(got / recLen);
}

BOOL ZDbfFile::LoadHeader(WORD nOpenFlags) {
    OpenOrRaise(nOpenFlags);
    BOOL read = FALSE;
    try {
        read = ReadHeader();
    } catch (CException*) {
        Abort();
        throw;
    }
    Close();
    return read;
}

BOOL ZDbfFile::WriteEofMarker() {
    const BYTE marker = kEofMarker;
    Write(&marker, 1);
    return TRUE;
}

LONG ZDbfFile::GetTotalRecords() {
    LONGLONG total = GetNumOfRecords();
    if (m_pWriteBuf != nullptr) {
        total += m_pWriteBuf->GetCount();
    }
    return total > INT32_MAX ? INT32_MAX : static_cast<LONG>(total);
}

void ZDbfFile::DeleteWriteBuffer() {
    delete m_pWriteBuf;
    m_pWriteBuf = nullptr;
}

void ZDbfFile::DeleteReadBuffer() {
    delete m_pReadBuf;
    m_pReadBuf = nullptr;
}

ZDbfRecordBuffer* ZDbfFile::SetWriteBuffer(ZDbfRecordBuffer* pBuf) {
    if (pBuf == nullptr) {
        return m_pWriteBuf != nullptr ? m_pWriteBuf->Clone() : nullptr;
    }
    if (pBuf != m_pWriteBuf) {
        delete m_pWriteBuf;
        m_pWriteBuf = pBuf;
    }
    return pBuf;
}

void ZDbfFile::AddNumOfRecords(LONG n) {
    // Modular, as the 32-bit field of the header would wrap; no signed overflow.
    m_header.SetNumRecords(
        static_cast<LONG>(static_cast<uint32_t>(GetNumOfRecords()) + static_cast<uint32_t>(n)));
}
