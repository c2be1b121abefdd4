#include "CMemoryException.h"

#include <cstdio>

IMPLEMENT_DYNAMIC(CMemoryException, CException)

CMemoryException::CMemoryException(BOOL bAutoDelete) : CException(bAutoDelete) {}
CMemoryException::~CMemoryException() = default;

BOOL CMemoryException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, UINT* pnHelpContext) const {
    if (pnHelpContext != nullptr) {
        *pnHelpContext = 0;
    }
    if (lpszError == nullptr || nMaxError == 0) {
        return FALSE;
    }
    std::snprintf(lpszError, nMaxError, "%s", "out of memory");
    return TRUE;
}

void AfxThrowMemoryException() {
    // Static, so raising needs no allocation; Delete() keeps it (auto-delete off).
    static CMemoryException s_outOfMemory(FALSE);
    throw &s_outOfMemory;
}
