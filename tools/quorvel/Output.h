// Output formatting: text escaping for JSON and CSV, numbers and dates as text, and the three
// row formats of "dump" (an aligned table, CSV, JSON lines).
//
// Text cells are bytes as the table holds them. JSON output keeps every valid UTF-8 sequence and
// writes each byte that is not part of one as \u00XX, its Latin-1 reading, so the output is
// always valid UTF-8 and no byte is lost. CSV writes the bytes unchanged (RFC 4180 quoting,
// CRLF line ends). The table format shows control characters and invalid bytes as '?'.
#ifndef QUORVEL_TOOLS_OUTPUT_H
#define QUORVEL_TOOLS_OUTPUT_H

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Cells.h"

namespace qvtool {

// Length of the valid UTF-8 sequence (1 to 4 bytes) at p, or 0 when the bytes there are not one
// (overlong forms, surrogates and values past U+10FFFF are not valid).
size_t Utf8SequenceLength(const unsigned char* p, size_t n);

// Appends the text as a quoted JSON string.
void AppendJsonString(std::string& out, std::string_view text);
// Appends the text as one CSV field: quoted, with quotes doubled, when it holds a comma, a
// quote, CR or LF.
void AppendCsvField(std::string& out, std::string_view text);
// Text for the terminal: control characters and bytes outside valid UTF-8 become '?'.
std::string DisplayText(std::string_view text);
// Characters (code points) in text made by DisplayText.
size_t DisplayWidth(std::string_view text);

// Shortest text that reads back as the same double; integral values below 1e15 without
// exponent or fraction. "nan", "inf" and "-inf" for the values that have no number.
std::string FormatReal(double value);
// Local calendar date of the time value as YYYY-MM-DD; empty when it has none.
std::string IsoDate(long long t);
// The cell as plain text (CSV and table): empty for null, "true"/"false" for logicals.
std::string CellText(const Cell& cell);

enum class Format { kTable, kCsv, kJsonl };

// Writes rows to a stdio stream in one format. Rows go out as they come, apart from the table
// format, which holds up to its first 200 rows to size its columns (Flush ends that early).
class RowWriter {
  public:
    virtual ~RowWriter() = default;
    // Starts (or, after a table was reopened, restarts) output for these columns.
    virtual void Begin(const std::vector<Column>& columns) = 0;
    virtual void Write(const Row& row) = 0;
    // Sends everything held so far to the stream and flushes it.
    virtual void Flush() = 0;

    static std::unique_ptr<RowWriter> Create(Format format, FILE* out);
};

}  // namespace qvtool

#endif  // QUORVEL_TOOLS_OUTPUT_H
