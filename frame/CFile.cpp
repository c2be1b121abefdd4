#include "CFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

IMPLEMENT_DYNAMIC(CFile, CObject)

namespace {

// Extended attribute that keeps the hidden, system and archive bits (one byte).
const char kAttribXattr[] = "user.quorvel.attrib";
const BYTE kXattrBits = CFile::hidden | CFile::system | CFile::archive;
const mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

void FillStatus(const struct stat& st, CFileStatus& rStatus) {
    rStatus.m_ctime = CTime(st.st_ctime);
    rStatus.m_mtime = CTime(st.st_mtime);
    rStatus.m_atime = CTime(st.st_atime);
    rStatus.m_size = static_cast<ULONGLONG>(st.st_size);
    BYTE attr = 0;
    if ((st.st_mode & kWriteBits) == 0) {
        attr |= CFile::readOnly;
    }
    if (S_ISDIR(st.st_mode)) {
        attr |= CFile::directory;
    }
    rStatus.m_attribute = attr;
}

BYTE ReadXattrBits(LPCSTR path) {
    BYTE stored = 0;
    if (getxattr(path, kAttribXattr, &stored, 1) != 1) {
        return 0;
    }
    return stored & kXattrBits;
}

// Changes the permission bits of a path from oldMode to newMode, if they differ.
void SetMode(LPCSTR path, mode_t oldMode, mode_t newMode) {
    if (newMode != (oldMode & 07777) && ::chmod(path, newMode) != 0) {
        CFileException::ThrowOsError(errno, path);
    }
}

}  // namespace

CFile::CFile() : m_hFile(hFileNull), m_nPosition(0) {}

CFile::~CFile() {
    if (m_hFile != hFileNull) {
        Abort();
    }
}

BOOL CFile::Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError) {
    if (m_hFile != hFileNull) {
        Abort();
    }
    int flags = O_CLOEXEC;
    switch (nOpenFlags & 3) {
        case modeRead:
            flags |= O_RDONLY;
            break;
        case modeWrite:
            flags |= O_WRONLY;
            break;
        default:
            flags |= O_RDWR;
            break;
    }
    if (nOpenFlags & modeCreate) {
        flags |= O_CREAT;
        if (!(nOpenFlags & modeNoTruncate)) {
            flags |= O_TRUNC;
        }
    }
    int err = 0;
    int fd = -1;
    if (lpszFileName == nullptr || lpszFileName[0] == '\0') {
        err = ENOENT;
    } else {
        do {
            fd = ::open(lpszFileName, flags, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            err = errno;
        } else {
            struct stat st;
            if (fstat(fd, &st) != 0) {
                err = errno;
            } else if (S_ISDIR(st.st_mode)) {
                err = EISDIR;
            }
            if (err != 0) {
                ::close(fd);
                fd = -1;
            }
        }
    }
    if (fd < 0) {
        if (pError != nullptr) {
            pError->m_cause = CFileException::OsErrorToException(err);
            pError->m_lOsError = err;
            pError->m_strFileName = lpszFileName;
        }
        return FALSE;
    }
    m_hFile = fd;
    m_nPosition = 0;
    m_strFileName = lpszFileName;
    return TRUE;
}

void CFile::Close() {
    if (m_hFile == hFileNull) {
        return;
    }
    int fd = m_hFile;
    m_hFile = hFileNull;
    m_nPosition = 0;
    // The descriptor is released even when close reports an error; close is not retried on
    // EINTR (Linux frees the descriptor first).
    if (::close(fd) != 0 && errno != EINTR) {
        CFileException::ThrowOsError(errno, m_strFileName);
    }
}

void CFile::Abort() {
    if (m_hFile != hFileNull) {
        ::close(m_hFile);
        m_hFile = hFileNull;
        m_nPosition = 0;
    }
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom) {
    if (m_hFile == hFileNull) {
        CFileException::ThrowOsError(EBADF, m_strFileName);
    }
    LONGLONG base = 0;
    if (nFrom == current) {
        base = static_cast<LONGLONG>(m_nPosition);
    } else if (nFrom == end) {
        base = static_cast<LONGLONG>(GetLength());
    }
    LONGLONG pos = 0;
    if (__builtin_add_overflow(base, lOff, &pos) || pos < 0) {
        AfxThrowFileException(CFileException::badSeek, EINVAL, m_strFileName);
    }
    m_nPosition = static_cast<ULONGLONG>(pos);
    return m_nPosition;
}

ULONGLONG CFile::GetPosition() const {
    if (m_hFile == hFileNull) {
        CFileException::ThrowOsError(EBADF, m_strFileName);
    }
    return m_nPosition;
}

ULONGLONG CFile::GetLength() const {
    struct stat st;
    if (m_hFile == hFileNull || fstat(m_hFile, &st) != 0) {
        CFileException::ThrowOsError(m_hFile == hFileNull ? EBADF : errno, m_strFileName);
    }
    return static_cast<ULONGLONG>(st.st_size);
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
    if (m_hFile == hFileNull) {
        CFileException::ThrowOsError(EBADF, m_strFileName);
    }
    BYTE* p = static_cast<BYTE*>(lpBuf);
    UINT done = 0;
    while (done < nCount) {
        ssize_t got =
            ::pread(m_hFile, p + done, nCount - done, static_cast<off_t>(m_nPosition + done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            CFileException::ThrowOsError(errno, m_strFileName);
        }
        if (got == 0) {
            break;  // end of file
        }
        done += static_cast<UINT>(got);
    }
    m_nPosition += done;
    return done;
}

void CFile::Write(const void* lpBuf, UINT nCount) {
    if (m_hFile == hFileNull) {
        CFileException::ThrowOsError(EBADF, m_strFileName);
    }
    const BYTE* p = static_cast<const BYTE*>(lpBuf);
    UINT done = 0;
    while (done < nCount) {
        ssize_t put =
            ::pwrite(m_hFile, p + done, nCount - done, static_cast<off_t>(m_nPosition + done));
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            CFileException::ThrowOsError(errno, m_strFileName);
        }
        if (put == 0) {
            CFileException::ThrowOsError(ENOSPC, m_strFileName);
        }
        done += static_cast<UINT>(put);
    }
    m_nPosition += done;
}

void CFile::Flush() {
    if (m_hFile == hFileNull) {
        return;
    }
    if (fsync(m_hFile) != 0 && errno != EINVAL) {
        CFileException::ThrowOsError(errno, m_strFileName);
    }
}

BOOL CFile::GetStatus(CFileStatus& rStatus) const {
    struct stat st;
    if (m_hFile == hFileNull || fstat(m_hFile, &st) != 0) {
        return FALSE;
    }
    FillStatus(st, rStatus);
    rStatus.m_attribute |= ReadXattrBits(m_strFileName);
    std::snprintf(rStatus.m_szFullName, sizeof rStatus.m_szFullName, "%s",
                  static_cast<LPCSTR>(m_strFileName));
    return TRUE;
}

BOOL CFile::GetStatus(LPCSTR lpszFileName, CFileStatus& rStatus) {
    struct stat st;
    if (lpszFileName == nullptr || ::stat(lpszFileName, &st) != 0) {
        return FALSE;
    }
    FillStatus(st, rStatus);
    rStatus.m_attribute |= ReadXattrBits(lpszFileName);
    char full[PATH_MAX];
    const char* name = realpath(lpszFileName, full) != nullptr ? full : lpszFileName;
    std::snprintf(rStatus.m_szFullName, sizeof rStatus.m_szFullName, "%s", name);
    return TRUE;
}

void CFile::SetStatus(LPCSTR lpszFileName, const CFileStatus& status) {
    struct stat st;
    if (lpszFileName == nullptr || ::stat(lpszFileName, &st) != 0) {
        CFileException::ThrowOsError(lpszFileName == nullptr ? ENOENT : errno, lpszFileName);
    }
    mode_t mode = st.st_mode & 07777;
    if (status.m_attribute & readOnly) {
        mode &= ~kWriteBits;
    } else if ((mode & kWriteBits) == 0) {
        mode |= S_IWUSR;
    }
    // Writing a user extended attribute needs write permission on the file (for an owner without
    // privileges it fails with EACCES otherwise), so write permission is granted before the bits
    // are stored and taken away only after.
    const bool bModeFirst = (mode & kWriteBits) != 0;
    if (bModeFirst) {
        SetMode(lpszFileName, st.st_mode, mode);
    }
    BYTE wanted = status.m_attribute & kXattrBits;
    if (wanted != ReadXattrBits(lpszFileName)) {
        int rc = wanted == 0 ? removexattr(lpszFileName, kAttribXattr)
                             : setxattr(lpszFileName, kAttribXattr, &wanted, 1, 0);
        if (rc != 0 && !(wanted == 0 && errno == ENODATA)) {
            CFileException::ThrowOsError(errno, lpszFileName);
        }
    }
    if (!bModeFirst) {
        SetMode(lpszFileName, st.st_mode, mode);
    }
}

void CFile::Remove(LPCSTR lpszFileName) {
    if (lpszFileName == nullptr || ::unlink(lpszFileName) != 0) {
        CFileException::ThrowOsError(lpszFileName == nullptr ? ENOENT : errno, lpszFileName);
    }
}
