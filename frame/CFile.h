// CFile: an unbuffered binary file over a POSIX file descriptor.
//
// The object starts with no file open; Open binds it to a path, Close releases it and the object
// may be opened again. The I/O operations are virtual so that tests can derive from the class and
// inject faults. Positions and sizes are 64-bit. The object keeps its own file position and reads
// and writes with pread/pwrite, so a Seek costs no system call.
//
// Sharing flags (shareDenyNone and the others) are accepted and have no effect: POSIX has no
// share modes, and readers of a log table must never block its writer.
//
// Attribute bits on Linux: readOnly is the file's write permission (set: every write bit cleared;
// cleared: the owner's write bit set). hidden, system and archive are kept in the extended
// attribute "user.quorvel.attrib" (one byte); setting them on a file system without user extended
// attributes raises CFileException. directory is read from the file type.
#ifndef QUORVEL_FRAME_CFILE_H
#define QUORVEL_FRAME_CFILE_H

#include "CFileException.h"
#include "CFileStatus.h"
#include "CObject.h"
#include "CString.h"

class QV_API CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
  public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum Attribute : BYTE {
        normal = 0x00,
        readOnly = 0x01,
        hidden = 0x02,
        system = 0x04,
        volume = 0x08,
        directory = 0x10,
        archive = 0x20,
    };
    enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

    static constexpr int hFileNull = -1;

    CFile();
    ~CFile() override;  // closes the file if open; errors are ignored
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens lpszFileName with nOpenFlags. TRUE when the file is open. FALSE otherwise, with the
    // cause, errno and file name left in *pError when given; raises nothing. A directory is
    // refused with accessDenied. A file already open on this object is closed first.
    virtual BOOL Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    // Closes the file. Raises CFileException when the close reports an error (the descriptor is
    // released all the same). Closing an object with no file open does nothing.
    virtual void Close();
    // Closes without raising.
    virtual void Abort();

    // Moves the position to lOff from nFrom and returns the new position. Raises CFileException:
    // badSeek when the new position would be negative (the position is kept), invalidFile when no
    // file is open.
    virtual ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
    virtual ULONGLONG GetPosition() const;
    virtual ULONGLONG GetLength() const;

    // Reads up to nCount bytes at the position and advances it. Returns the bytes read: fewer
    // than nCount only at the end of the file. Raises CFileException on an error and when no
    // file is open. EINTR and partial reads are retried.
    virtual UINT Read(void* lpBuf, UINT nCount);
    // Writes all nCount bytes at the position and advances it, or raises CFileException (diskFull
    // when the disk is full). Short writes and EINTR are retried.
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual void Flush();

    // Status of the open file. FALSE when no file is open or fstat fails.
    BOOL GetStatus(CFileStatus& rStatus) const;
    // Status of the file at a path; FALSE when it cannot be read.
    static BOOL GetStatus(LPCSTR lpszFileName, CFileStatus& rStatus);
    // Writes the attribute bits of status back to the file at a path. Raises CFileException on
    // failure. Times and size are not changed.
    static void SetStatus(LPCSTR lpszFileName, const CFileStatus& status);
    // Deletes the file at a path. Raises CFileException on failure.
    static void Remove(LPCSTR lpszFileName);

    CString GetFilePath() const { return m_strFileName; }
    BOOL IsOpen() const { return m_hFile != hFileNull; }

    int m_hFile;

  protected:
    CString m_strFileName;
    ULONGLONG m_nPosition;
};

#endif  // QUORVEL_FRAME_CFILE_H
