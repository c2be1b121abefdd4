// The log readers' shared behaviour (internal): the row window over the read buffer and the
// field count. LgaDbfFile and LgeDbfFile are one design and call these with their own members.
#ifndef QUORVEL_LOGS_LOGREADEROPS_H
#define QUORVEL_LOGS_LOGREADEROPS_H

#include "ZDbfFile.h"

namespace qv {

// The rows n with nReadFirst <= n < nReadFirst + nReadCount are in the read buffer.
struct RowWindow {
    LONG& nReadFirst;
    LONG& nReadCount;

    void Clear() {
        nReadFirst = -1;
        nReadCount = 0;
    }
    bool Holds(LONG nRow) const {
        return nReadFirst <= nRow &&
               static_cast<LONGLONG>(nRow) < static_cast<LONGLONG>(nReadFirst) + nReadCount;
    }
};

// Converts row nRow into pRecord, filling the read buffer from the open file when the row is
// outside the window. Returns 1 when converted, 0 otherwise (no read buffer, schema or record; a
// negative row; a failed fill, after which the window is empty, since the failed read may have
// overwritten part of the buffer; a row past the last one, after which the window is empty at
// that row). A CFileException from a derived FillReadBuffer is reported with pszDebugFormat (one
// %d: the cause) on the debug output and released.
int ReadLogRecord(ZDbfFile& file, RowWindow window, LONG nRow, void* pRecord,
                  const char* pszDebugFormat);

// Opens the table for its header and descriptors (one-row buffers) and returns the schema's
// field count; nCurrent when the table is refused, 0 when it cannot be opened. Empties the
// window: the buffers it held rows of are replaced.
WORD CountLogFields(ZDbfFile& file, RowWindow window, WORD nCurrent);

}  // namespace qv

#endif  // QUORVEL_LOGS_LOGREADEROPS_H
