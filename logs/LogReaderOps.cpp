#include "LogReaderOps.h"

#include <cstdio>

#include "PlatformServices.h"

namespace qv {

int ReadLogRecord(ZDbfFile& file, RowWindow window, LONG nRow, void* pRecord,
                  const char* pszDebugFormat) {
    ZDbfSchema* pSchema = file.GetSchema();
    if (pRecord == nullptr || pSchema == nullptr || file.GetReadBuffer() == nullptr) {
        return 0;
    }
    // Rows count from 0. A negative row would be read from the header: in an event table the
    // header is longer than a row, so row -1 lands inside the descriptors and "converts".
    if (nRow < 0) {
        return 0;
    }
    if (!window.Holds(nRow)) {
        BOOL filled = FALSE;
        try {
            filled = file.FillReadBuffer(nRow);
        } catch (CFileException* e) {
            char line[256];
            std::snprintf(line, sizeof line, pszDebugFormat, e->m_cause);
            OutputDebugStringA(line);
            e->Delete();
            window.Clear();
            return 0;
        }
        if (!filled || file.GetReadBuffer() == nullptr) {
            // A read that failed part way (an I/O error after some bytes arrived) has written
            // them over the rows the window names: those rows are read from the file again.
            window.Clear();
            return 0;
        }
        window.nReadFirst = nRow;
        window.nReadCount = file.GetReadBuffer()->GetCount();
        if (!window.Holds(nRow)) {
            return 0;
        }
    }
    unsigned char* cursor = file.GetReadBuffer()->GetRecordPtr(nRow - window.nReadFirst);
    pSchema->ReadFromBuffer(cursor, pRecord);
    return 1;
}

WORD CountLogFields(ZDbfFile& file, RowWindow window, WORD nCurrent) {
    WORD nFields = nCurrent;
    try {
        if (file.OpenTable(1, 1, ZDbfFile::kOpenRead, nullptr, nullptr) == 1 &&
            file.GetSchema() != nullptr) {
            nFields = file.GetSchema()->GetNumOfFields();
        }
    } catch (CException* e) {
        e->Delete();
        nFields = 0;
    }
    window.Clear();
    return nFields;
}

}  // namespace qv
