// ZDbfFile: a dBASE III table file (no memo) bound for its whole life to one path and one schema.
//
// It creates a table from its schema, opens an existing table and lets the schema accept the
// descriptors, keeps the 32-byte header image, reads blocks of rows into a read buffer and
// appends rows through a write buffer, keeping the header's record count and date current.
//
// File use: CreateTable, OpenTable, FlushWriteBuffer, LoadReadBuffer and LoadHeader open the file
// by path and close it before they return. The positioned operations (ReadHeader, WriteHeader,
// FillReadBuffer, ReadRecords, WriteRecords, WriteEofMarker) work on whatever file is open on the
// object at the time: inside those operations, or opened by the caller with CFile::Open.
//
// Ownership: the object owns the schema handed to its constructor and both record buffers, and
// deletes them in its destructor. Not copyable.
//
// Failures: when opening fails the operation raises a new CFileException carrying Open's cause
// only (OS error -1, no file name). Outcomes that are not file errors are results: a refused
// table, a full write buffer, nothing to flush, a short read. A missing schema or buffer gives
// FALSE (or 0), never a crash.
#ifndef QUORVEL_DBF_ZDBFFILE_H
#define QUORVEL_DBF_ZDBFFILE_H

#include "CFile.h"
#include "CString.h"
#include "DbfHeader.h"
#include "ZDbfRecordBuffer.h"
#include "ZDbfSchema.h"

class QV_API ZDbfFile : public CFile {
    DECLARE_DYNAMIC(ZDbfFile)
  public:
    // Open flags the library passes: read (log readers) and read-write (the destructor's flush).
    static constexpr WORD kOpenRead = CFile::typeBinary | CFile::shareDenyNone | CFile::modeRead;
    static constexpr WORD kOpenReadWrite =
        CFile::typeBinary | CFile::shareDenyNone | CFile::modeReadWrite;
    static constexpr BYTE kEofMarker = 0x1A;

    // Copies the path and takes ownership of pSchema (may be null). Opens nothing.
    ZDbfFile(const CString& strPath, ZDbfSchema* pSchema);
    // Flushes pending rows with kOpenReadWrite (a failure drops them silently), then deletes the
    // write buffer, the read buffer and the schema.
    ~ZDbfFile() override;

    // Virtual slots in this order, after those of CObject and CFile.

    // Creates a new table file from the schema: builds the schema's columns, the header, writes
    // header, descriptors and terminator, closes, creates the buffers. nOpenFlags must let the
    // file be created and written (e.g. modeCreate | modeReadWrite). Returns TRUE; FALSE without
    // a schema, or when the schema's columns do not fit a header (more than 2046 columns or rows
    // longer than 65535 bytes; nothing is opened). Raises CFileException when opening or writing
    // fails; when writing fails with diskFull before any byte reached the file, the file is
    // removed.
    virtual BOOL CreateTable(LONG nReadRecs, LONG nWriteRecs, WORD nOpenFlags, void* pReadMem,
                             void* pWriteMem);
    // Reads an existing table's header and lets the schema accept its descriptors. TRUE: opened,
    // buffers created (a count of 0 leaves that buffer as it was). FALSE: refused (header
    // shorter than 32 bytes, a descriptor refused, the file ends inside the descriptors, a record
    // length of 0 or shorter than the accepted columns, a header length that ends inside the
    // descriptors, no schema); no buffer is created, the read
    // buffer is deleted and the header image is the one from before the call. Raises
    // CFileException when the file cannot be opened.
    virtual BOOL OpenTable(LONG nReadRecs, LONG nWriteRecs, WORD nOpenFlags, void* pReadMem,
                           void* pWriteMem);
    // Converts the caller's record through the schema into the next free slot of the write
    // buffer, which is blanked first: bytes the schema does not write are blanks. FALSE when the
    // buffer is full (nothing changes) or missing, or there is no schema.
    virtual BOOL AppendRecord(void* pRecord);
    // TRUE when the write buffer holds as many rows as it can; FALSE when it has room or there
    // is none.
    virtual BOOL IsWriteBufferFull();
    // Appends the pending rows at the header's record count, writes the 0x1A end byte, raises
    // the record count and rewrites the header with today's date. FALSE when nothing is pending
    // (the file is not opened). Raises CFileException on open or write failure: a failure while
    // the rows are written leaves them pending. Refuses, before opening and with the rows left
    // pending, a count that would pass INT32_MAX (diskFull) and a negative count (invalidFile).
    virtual BOOL FlushWriteBuffer(WORD nOpenFlags);
    // Sets (clears) attribute bits of the file by path. FALSE when its status cannot be read.
    virtual BOOL AddAttributes(BYTE nAttrib);
    virtual BOOL RemoveAttributes(BYTE nAttrib);
    // Opens, FillReadBuffer(nRecord), closes; the fill's result.
    virtual BOOL LoadReadBuffer(LONG nRecord, WORD nOpenFlags);
    // Fills the header image for a new table from the schema and today's date.
    virtual void InitHeader();
    // Reads 32 bytes at the current position into the header image; TRUE when all 32 arrived.
    virtual BOOL ReadHeader();
    // Writes the header image at offset 0 with today's date, then the descriptors when asked.
    virtual BOOL WriteHeader(BOOL bFieldDescs);
    // Creates the buffers that are asked for (count != 0), sized by the header's record length,
    // replacing (deleting) those there. Raises CMemoryException when storage cannot be had.
    virtual void CreateBuffers(LONG nReadRecs, LONG nWriteRecs, void* pReadMem, void* pWriteMem);
    // Reads the block of rows starting at nRecord into the read buffer. TRUE with the count set
    // (0 at or past the last whole row); FALSE on a file error or without a read buffer, the
    // buffer keeping its previous count and first row. No CFileException leaves it.
    virtual BOOL FillReadBuffer(LONG nRecord);
    // Writes nRecs rows at row nFirst. FALSE for a negative row or when the seek lands elsewhere.
    virtual BOOL WriteRecords(const void* pData, LONG nRecs, LONG nFirst);
    // Reads up to nRecs rows from row nFirst; returns the number of whole rows read (0 for a
    // negative row or when the seek lands elsewhere). Positions are computed in 64 bits.
    virtual LONG ReadRecords(void* pData, LONG nRecs, LONG nFirst);

    // Opens, ReadHeader, closes; the result of ReadHeader.
    BOOL LoadHeader(WORD nOpenFlags);
    // Writes the byte 0x1A at the current position; TRUE.
    BOOL WriteEofMarker();
    // The header's record count plus the rows pending in the write buffer.
    LONG GetTotalRecords();
    void DeleteWriteBuffer();
    void DeleteReadBuffer();
    // With pBuf null: a new copy of the write buffer that the caller owns (null when there is no
    // write buffer), changing nothing. Otherwise deletes the write buffer, adopts pBuf and
    // returns it.
    ZDbfRecordBuffer* SetWriteBuffer(ZDbfRecordBuffer* pBuf);
    ZDbfSchema* GetSchema() { return m_pSchema; }
    CString GetTablePath() { return m_strPath; }
    LONG GetNumOfRecords() { return m_header.GetNumRecords(); }
    void AddNumOfRecords(LONG n);
    WORD GetHeaderLength() { return m_header.GetHeaderLength(); }
    WORD GetRecordLength() { return m_header.GetRecordLength(); }

    ZDbfRecordBuffer* GetReadBuffer() { return m_pReadBuf; }
    ZDbfRecordBuffer* GetWriteBuffer() { return m_pWriteBuf; }
    const DbfHeader& GetHeader() const { return m_header; }

  protected:
    // Opens m_strPath or raises a new CFileException with Open's cause only.
    void OpenOrRaise(WORD nOpenFlags);
    // File offset of row nRecord: header length + nRecord x record length, in 64 bits.
    LONGLONG RecordPosition(LONG nRecord) const;
    void StampDate();

    CString m_strPath;
    ZDbfSchema* m_pSchema;
    ZDbfRecordBuffer* m_pWriteBuf;
    ZDbfRecordBuffer* m_pReadBuf;
    DbfHeader m_header;
};

#endif  // QUORVEL_DBF_ZDBFFILE_H
