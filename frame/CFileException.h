// CFileException: a file error, thrown by pointer. m_cause is one of the causes below (numbered
// as the class library numbers them); m_lOsError the errno that caused it, or -1.
#ifndef QUORVEL_FRAME_CFILEEXCEPTION_H
#define QUORVEL_FRAME_CFILEEXCEPTION_H

#include "CException.h"
#include "CString.h"

class QV_API CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
  public:
    enum {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    explicit CFileException(int cause = none, LONG lOsError = -1, LPCSTR lpszFileName = nullptr);
    ~CFileException() override;

    BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError,
                         UINT* pnHelpContext = nullptr) const override;

    // The one mapping from an errno value to a cause. Unknown values give genericException.
    static int OsErrorToException(LONG lOsError);
    // Raises a CFileException with the cause of lOsError, that errno and the file name.
    [[noreturn]] static void ThrowOsError(LONG lOsError, LPCSTR lpszFileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

// Raises a new CFileException with that cause, OS error and file name. Does not return.
[[noreturn]] QV_API void AfxThrowFileException(int cause, LONG lOsError = -1,
                                               LPCSTR lpszFileName = nullptr);

#endif  // QUORVEL_FRAME_CFILEEXCEPTION_H
