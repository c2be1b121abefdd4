// Version probes: which layout revision a log table on disk holds, given only its path.
//
// Each builds a schema and a reader for the one question, lets the reader derive the version
// from the table's field count, and destroys both before it returns. The table is opened once
// for reading without denying other openers and is not changed.
//
// Result: 1 or 2 when the field count is that of layout 1 or 2 (alarm 15/17, event 10/12);
// 0 (..._NONE) when the path is empty (nothing is touched), the table cannot be opened or read,
// the schema refuses its descriptors (a table of the other kind among them), its field count is
// neither layout's, or memory runs out. No exception leaves a probe.
#ifndef QUORVEL_LOGS_SCHEMAVERSION_H
#define QUORVEL_LOGS_SCHEMAVERSION_H

#include "CString.h"
#include "LogRecords.h"

QV_API LGA_SCHEMA_VER LgaSchemaVersion(CString strPath);
QV_API LGE_SCHEMA_VER LgeSchemaVersion(CString strPath);

#endif  // QUORVEL_LOGS_SCHEMAVERSION_H
