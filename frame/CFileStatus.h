// CFileStatus: what CFile::GetStatus reports of a file.
#ifndef QUORVEL_FRAME_CFILESTATUS_H
#define QUORVEL_FRAME_CFILESTATUS_H

#include "CTime.h"

struct QV_API CFileStatus {
    CTime m_ctime;                 // status change time
    CTime m_mtime;                 // last modification
    CTime m_atime;                 // last access
    ULONGLONG m_size = 0;          // size in bytes
    BYTE m_attribute = 0;          // CFile::Attribute bits
    char m_szFullName[4096] = {};  // absolute path, when known
};

#endif  // QUORVEL_FRAME_CFILESTATUS_H
