// ZDbfRecordBuffer: storage for a block of fixed-length rows, back to back.
//
// In a read buffer, m_nCount is the number of rows the last fill read and m_nFirst the row
// number of the first of them; in a write buffer, m_nCount counts the rows appended since the
// last flush. The buffer owns its storage when it allocated it (m_bOwnData); storage handed in
// by the caller stays the caller's and must outlive the buffer.
#ifndef QUORVEL_DBF_ZDBFRECORDBUFFER_H
#define QUORVEL_DBF_ZDBFRECORDBUFFER_H

#include "CObject.h"

class QV_API ZDbfRecordBuffer {
  public:
    // The capacity of a buffer asked for with -1: as many rows as fit in this many bytes.
    static constexpr LONG kDefaultBlockBytes = 65482;
    // No buffer's storage exceeds this many bytes.
    static constexpr LONGLONG kMaxBytes = 0x7FFFFFFF;

    // nCapacity -1 means kDefaultBlockBytes / nRecLen rows, at least one. With pMem null the
    // buffer allocates nCapacity x nRecLen bytes and owns them. Raises CMemoryException when the
    // storage cannot be had: allocation failure, a negative capacity other than -1, or more than
    // kMaxBytes bytes.
    ZDbfRecordBuffer(WORD nRecLen, LONG nCapacity, void* pMem);
    // Copies record length, capacity, count and first row number, and the whole storage into
    // storage of its own, which it owns whether or not the source owned its storage.
    ZDbfRecordBuffer(const ZDbfRecordBuffer& other);
    ZDbfRecordBuffer& operator=(const ZDbfRecordBuffer&) = delete;
    // Frees the storage when the buffer owns it.
    ~ZDbfRecordBuffer();

    // Address of slot i (m_pData + i x record length). With i == -1: the slot at m_nCount, and
    // m_nCount grows by one. No bounds check: REQUIRES -1 <= i < capacity.
    BYTE* GetRecordPtr(LONG i);
    // A new copy made by the copy constructor; the caller owns it.
    ZDbfRecordBuffer* Clone() const;

    BYTE* GetData() const { return m_pData; }
    WORD GetRecordLength() const { return m_nRecLen; }
    LONG GetCapacity() const { return m_nCapacity; }
    LONG GetCount() const { return m_nCount; }
    void SetCount(LONG n) { m_nCount = n; }
    LONG GetFirst() const { return m_nFirst; }
    void SetFirst(LONG n) { m_nFirst = n; }
    BOOL OwnsData() const { return m_bOwnData; }

    // Allocation through the library's allocator: failures raise CMemoryException.
    static void* operator new(size_t nSize);
    static void operator delete(void* p) noexcept;

  private:
    WORD m_nRecLen;
    LONG m_nCapacity;
    BYTE* m_pData;
    LONG m_nCount;
    LONG m_nFirst;
    BOOL m_bOwnData;
};

#endif  // QUORVEL_DBF_ZDBFRECORDBUFFER_H
