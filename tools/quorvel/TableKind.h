// Which kind of table a file holds (alarm log, event log, or some other table), which layout
// revision, and whose column widths it has: the current build's, the legacy build's, or others.
//
// The tool links the current build. The legacy widths (four text columns narrower) are the one
// piece of the legacy layout it knows on its own; everything else comes from the library's
// schemas.
#ifndef QUORVEL_TOOLS_TABLEKIND_H
#define QUORVEL_TOOLS_TABLEKIND_H

#include <string>
#include <vector>

#include "TableHeader.h"

class ZDbfSchema;

namespace qvtool {

enum class TableKind { kAlarm, kEvent, kGeneric };

struct TableIdentity {
    TableKind kind = TableKind::kGeneric;
    int nRevision = 0;  // layout revision of a log table (1 or 2); 0 for a generic table
};

enum class Layout { kCurrent, kLegacy };

// "alarm log", "event log", "generic table".
const char* KindName(TableKind kind);
// "an alarm log", "an event log", "a generic table".
const char* KindPhrase(TableKind kind);
// "alarm", "event", "generic": the words --kind takes.
const char* KindWord(TableKind kind);
// The kind a --kind word names; kGeneric for any other word.
TableKind KindFromWord(const std::string& word);

// Asks the library's version probes, then whether the engine opens the file as a generic table.
// REQUIRES: table read by ReadRawTable without a fatal problem. False, with a one-line reason,
// when the engine refuses the table.
bool IdentifyTable(const std::string& path, TableIdentity& identity, std::string& reason);

// A new schema (the caller owns it) for writing a log table of this kind and revision with the
// widths of the layout. REQUIRES: kind is kAlarm or kEvent, revision 1 or 2.
ZDbfSchema* NewLogSchema(TableKind kind, int nRevision, Layout layout);

// The column widths of that layout, in column order.
std::vector<unsigned> LayoutWidths(TableKind kind, int nRevision, Layout layout);

// "current", "legacy" or "other": whose widths the table's columns have.
const char* MatchLayout(const RawTable& table, const TableIdentity& identity);

// ReadRawTable, refusal on its first fatal problem, then IdentifyTable: what a command needs to
// know before it opens a table for rows. False with a one-line reason.
bool InspectTable(const std::string& path, RawTable& table, TableIdentity& identity,
                  std::string& reason);

// Makes the schema's float fields read and write '.' whatever the user's locale says. Float
// fields take the separator from the environment's locale but format and parse with the
// process's C locale, which this tool leaves at "C": with LANG=de_DE.UTF-8 the text "12.5"
// would read as 12. Tables always store '.'.
void UseDotSeparators(ZDbfSchema& schema);

}  // namespace qvtool

#endif  // QUORVEL_TOOLS_TABLEKIND_H
