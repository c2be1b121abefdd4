// Rows of a table as cells, read through the library: alarm logs through LgaDbfFile into
// ALMEVENT records, event logs through LgeDbfFile into LOGEVENT2 records, any other table
// through the generic schema's field objects.
//
// The table stays open for reading (other openers are not denied) for the source's lifetime,
// and rows are read a block of about 64 KiB at a time. Memory does not grow with the table.
#ifndef QUORVEL_TOOLS_ROWSOURCE_H
#define QUORVEL_TOOLS_ROWSOURCE_H

#include <memory>
#include <string>
#include <vector>

#include "Cells.h"
#include "TableKind.h"

namespace qvtool {

class RowSource {
  public:
    virtual ~RowSource() = default;

    // Log tables: the record members of the table's revision, in record order. Generic tables:
    // the table's columns.
    const std::vector<Column>& Columns() const { return m_columns; }

    // Converts row nRow (from 0) into row (one cell per column). False when the row is not
    // wholly in the file (past the end, or still being written) or cannot be read.
    virtual bool Read(long nRow, Row& row) = 0;

    // The open table file's descriptor: for noticing a table that shrinks or is replaced.
    virtual int FileDescriptor() const = 0;

    // Opens the table at path as what identity says it is. Null, with a one-line reason, when
    // the library does not open it that way.
    static std::unique_ptr<RowSource> Open(const std::string& path, const TableIdentity& identity,
                                           std::string& reason);

  protected:
    std::vector<Column> m_columns;
};

}  // namespace qvtool

#endif  // QUORVEL_TOOLS_ROWSOURCE_H
