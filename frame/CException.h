// CException: base of the exceptions the library throws. Exceptions are thrown and caught by
// pointer (`throw new CFileException(...)`, `catch (CException* e)`), and the catcher releases
// the caught object with Delete().
#ifndef QUORVEL_FRAME_CEXCEPTION_H
#define QUORVEL_FRAME_CEXCEPTION_H

#include "CObject.h"

class QV_API CException : public CObject {
    DECLARE_DYNAMIC(CException)
  public:
    // bAutoDelete FALSE marks a static object (the out-of-memory exception) that Delete() keeps.
    explicit CException(BOOL bAutoDelete = TRUE);
    ~CException() override;

    // Releases a caught exception: deletes it unless it is a static object.
    void Delete();

    // Copies a one-line description into szError (at most nMaxError bytes, NUL included).
    // Returns TRUE when a description was written.
    virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError,
                                 UINT* pnHelpContext = nullptr) const;

  protected:
    BOOL m_bAutoDelete;
};

#endif  // QUORVEL_FRAME_CEXCEPTION_H
