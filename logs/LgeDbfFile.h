// LgeDbfFile: reads an event log table row by row into LOGEVENT2 records.
//
// Calling order:
//   1. new LgeSchema (any version) and new LgeDbfFile(path, schema): the reader owns the
//      schema from here on;
//   2. CheckSchemaVer(): opens the table for its header and descriptors (one-row buffers),
//      closes it, and gives the schema the version its field count shows (10: 1, 12: 2,
//      else 0); GetSchemaVer() then tells the layout;
//   3. Open(path, CFile::modeRead | CFile::shareDenyNone) on the reader itself: ReadRecord reads
//      through the object's open file and never opens it;
//   4. ReadRecord(n, &record) for each wanted row, in any order;
//   5. Close() and delete the reader (which deletes the schema).
//
// A window of row numbers records which rows the read buffer holds: a row inside it converts
// from memory without touching the file. The reader has no run-time class record of its own.
#ifndef QUORVEL_LOGS_LGEDBFFILE_H
#define QUORVEL_LOGS_LGEDBFFILE_H

#include "LgeSchema.h"
#include "LogRecords.h"
#include "ZDbfFile.h"

class QV_API LgeDbfFile : public ZDbfFile {
  public:
    // Takes the table's path and the schema (owned from here on). Opens nothing.
    LgeDbfFile(const CString& strPath, LgeSchema* pSchema);
    ~LgeDbfFile() override;

    // Converts row nRow (from 0) into *pRecord. 1: converted. 0: not converted: a negative row, a
    // row past the last whole row, a failed read, or no read buffer (CheckSchemaVer has not
    // opened the table), no schema or a null record. Deletion flags are not looked at.
    int ReadRecord(LONG nRow, LOGEVENT2* pRecord);
    // Opens the table (read, shared) for its header and descriptors and sets the field count:
    // the schema's count when the table is accepted, unchanged when refused, 0 when the table
    // cannot be opened. Replaces the record buffers and empties the window. Returns the count.
    unsigned short SetNumOfFields();
    // Finds the field count when none is known yet and gives the schema the matching version.
    void CheckSchemaVer();
    // The schema's version; LGE_SCHEMA_VER_NONE without a schema.
    LGE_SCHEMA_VER GetSchemaVer();
    // Stores the version (1 and 2 kept, anything else 0) and gives it to the schema.
    void SetSchemaVer(LGE_SCHEMA_VER ver);

  protected:
    LONG m_nReadFirst;
    LONG m_nReadCount;
    unsigned short m_nNumOfFields;
    LGE_SCHEMA_VER m_eSchemaVer;
};

#endif  // QUORVEL_LOGS_LGEDBFFILE_H
