#include "ZDbfRecordBuffer.h"

#include <cstring>

#include "CMemoryException.h"

namespace {

// Bytes of storage for nCapacity rows of nRecLen bytes; raises CMemoryException when no storage
// can hold them.
size_t StorageBytes(WORD nRecLen, LONG nCapacity) {
    if (nCapacity < 0) {
        AfxThrowMemoryException();
    }
    const LONGLONG bytes = static_cast<LONGLONG>(nCapacity) * nRecLen;
    if (bytes > ZDbfRecordBuffer::kMaxBytes) {
        AfxThrowMemoryException();
    }
    return static_cast<size_t>(bytes);
}

}  // namespace

ZDbfRecordBuffer::ZDbfRecordBuffer(WORD nRecLen, LONG nCapacity, void* pMem)
    : m_nRecLen(nRecLen),
      m_nCapacity(nCapacity),
      m_pData(static_cast<BYTE*>(pMem)),
      m_nCount(0),
      m_nFirst(0),
      m_bOwnData(FALSE) {
    if (nCapacity == -1) {
        m_nCapacity = nRecLen != 0 ? kDefaultBlockBytes / nRecLen : 1;
        if (m_nCapacity == 0) {
            m_nCapacity = 1;
        }
    }
    const size_t bytes = StorageBytes(m_nRecLen, m_nCapacity);
    if (pMem == nullptr) {
        m_pData = AfxNewBytes(bytes);
        m_bOwnData = TRUE;
    }
}

ZDbfRecordBuffer::ZDbfRecordBuffer(const ZDbfRecordBuffer& other)
    : m_nRecLen(other.m_nRecLen),
      m_nCapacity(other.m_nCapacity),
      m_pData(nullptr),
      m_nCount(other.m_nCount),
      m_nFirst(other.m_nFirst),
      m_bOwnData(TRUE) {
    const size_t bytes = StorageBytes(m_nRecLen, m_nCapacity);
    m_pData = AfxNewBytes(bytes);
    if (bytes > 0) {
        std::memcpy(m_pData, other.m_pData, bytes);
    }
}

ZDbfRecordBuffer::~ZDbfRecordBuffer() {
    if (m_bOwnData) {
        AfxFreeBytes(m_pData);
    }
}

BYTE* ZDbfRecordBuffer::GetRecordPtr(LONG i) {
    if (i == -1) {
        i = m_nCount++;
    }
    return m_pData + static_cast<ptrdiff_t>(i) * m_nRecLen;
}

ZDbfRecordBuffer* ZDbfRecordBuffer::Clone() const {
    return new ZDbfRecordBuffer(*this);
}

void* ZDbfRecordBuffer::operator new(size_t nSize) {
    return AfxNewBytes(nSize);
}

void ZDbfRecordBuffer::operator delete(void* p) noexcept {
    AfxFreeBytes(static_cast<BYTE*>(p));
}
