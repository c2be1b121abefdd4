#include "CFileException.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

IMPLEMENT_DYNAMIC(CFileException, CException)

CFileException::CFileException(int cause, LONG lOsError, LPCSTR lpszFileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszFileName) {}

CFileException::~CFileException() = default;

BOOL CFileException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, UINT* pnHelpContext) const {
    static const char* const kCauses[] = {"no error",
                                          "unspecified error",
                                          "file not found",
                                          "bad path",
                                          "too many open files",
                                          "access denied",
                                          "invalid file",
                                          "cannot remove current directory",
                                          "directory full",
                                          "bad seek",
                                          "hardware I/O error",
                                          "sharing violation",
                                          "lock violation",
                                          "disk full",
                                          "end of file reached"};
    if (pnHelpContext != nullptr) {
        *pnHelpContext = 0;
    }
    if (lpszError == nullptr || nMaxError == 0) {
        return FALSE;
    }
    const char* what = (m_cause >= 0 && m_cause <= endOfFile) ? kCauses[m_cause] : "unknown cause";
    if (m_strFileName.IsEmpty()) {
        std::snprintf(lpszError, nMaxError, "%s", what);
    } else {
        std::snprintf(lpszError, nMaxError, "%s: %s", static_cast<LPCSTR>(m_strFileName), what);
    }
    return TRUE;
}

int CFileException::OsErrorToException(LONG lOsError) {
    switch (lOsError) {
        case 0:
            return none;
        case ENOENT:
            return fileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EINVAL:
            return badPath;
        case EMFILE:
        case ENFILE:
            return tooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return accessDenied;
        case EBADF:
            return invalidFile;
        case EBUSY:
            return sharingViolation;
        case ENOLCK:
        case EDEADLK:
            return lockViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return diskFull;
        case ESPIPE:
        case EOVERFLOW:
            return badSeek;
        case EIO:
        case ENXIO:
        case ENODEV:
            return hardIO;
        default:
            return genericException;
    }
}

void CFileException::ThrowOsError(LONG lOsError, LPCSTR lpszFileName) {
    AfxThrowFileException(OsErrorToException(lOsError), lOsError, lpszFileName);
}

void AfxThrowFileException(int cause, LONG lOsError, LPCSTR lpszFileName) {
    throw new CFileException(cause, lOsError, lpszFileName);
}
