// CMemoryException: raised when an allocation of the library fails. The object thrown is a
// static one (Delete() keeps it), so raising it needs no memory.
#ifndef QUORVEL_FRAME_CMEMORYEXCEPTION_H
#define QUORVEL_FRAME_CMEMORYEXCEPTION_H

#include "CException.h"

class QV_API CMemoryException : public CException {
    DECLARE_DYNAMIC(CMemoryException)
  public:
    explicit CMemoryException(BOOL bAutoDelete = TRUE);
    ~CMemoryException() override;

    BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError,
                         UINT* pnHelpContext = nullptr) const override;
};

// Raises the static CMemoryException by pointer. Does not return.
[[noreturn]] QV_API void AfxThrowMemoryException();

#endif  // QUORVEL_FRAME_CMEMORYEXCEPTION_H
