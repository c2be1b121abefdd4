// LgeSchema: the schema of an event log table and the conversion of its rows to and from
// LOGEVENT2 records.
//
// Version 1 has 10 columns with "User" 8 wide; version 2 has 12, with "User" 20 wide and
// "UserStn" and "LoggingStn" added at the end. An opened table keeps its own column widths: rows
// convert with the table's widths, each value cut to its member where a column is wider than the
// build's member.
//
// Created by the host (or a version probe) and handed to an LgeDbfFile, which owns it.
#ifndef QUORVEL_LOGS_LGESCHEMA_H
#define QUORVEL_LOGS_LGESCHEMA_H

#include "LogRecords.h"
#include "ZDbfSchema.h"

namespace qv {
struct LogRowCache;
}

class QV_API LgeSchema : public ZDbfSchema {
    DECLARE_DYNAMIC(LgeSchema)
  public:
    // Stores ver as it is (no range check) and creates no fields.
    explicit LgeSchema(LGE_SCHEMA_VER ver = LGE_SCHEMA_VER_1);
    ~LgeSchema() override;

    // Builds the fields of m_schemaVer's layout: 12 for version 2, 10 for any other value.
    void CreateFieldDesc() override;
    // Accepts the descriptor at index when its column class is the one the layout has there
    // (and sets the text or raw mode of a character column); refuses every index past 11.
    // A descriptor at a version-2 column sets m_schemaVer to 2 whatever the outcome.
    int ReadFieldDesc(int& index, const ZDbfField::DbfFldDesc* desc) override;
    // Row at cursor -> the LOGEVENT2 at record. The record is not cleared first: members of
    // columns the version lacks keep their values. Indexes without a field are skipped.
    void ReadFromBuffer(unsigned char*& cursor, void* record) override;
    // The LOGEVENT2 at record (only read) -> row at cursor, deletion flag blank.
    void WriteToBuffer(unsigned char*& cursor, void* record) override;

    // Sets the version: 1 and 2 are kept, every other value becomes LGE_SCHEMA_VER_NONE.
    void SetSchemaVer(LGE_SCHEMA_VER ver);
    LGE_SCHEMA_VER GetSchemaVer() const { return m_schemaVer; }

  protected:
    LGE_SCHEMA_VER m_schemaVer;

  private:
    // Which fields convert straight into their members, remembered from row to row (LogLayout.h);
    // null when it could not be allocated, and the rows then convert without it.
    qv::LogRowCache* m_pRowCache;
};

#endif  // QUORVEL_LOGS_LGESCHEMA_H
