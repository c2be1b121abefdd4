// The raw view of a table file: header, column descriptors, and how the file's size divides
// into whole rows. Read straight from the bytes, without the table engine, so that the tool can
// say why a file is not a table the engine reads, and "check" can look at a damaged one.
#ifndef QUORVEL_TOOLS_TABLEHEADER_H
#define QUORVEL_TOOLS_TABLEHEADER_H

#include <cstddef>
#include <string>
#include <vector>

namespace qvtool {

struct RawColumn {
    std::string name;         // up to the first NUL of the 11 name bytes
    char chType = 0;          // type letter as stored
    unsigned nWidth = 0;      // width in bytes
    unsigned nDecimals = 0;   // decimal count
    unsigned nRowOffset = 0;  // first byte in the row, from the widths before it (the flag is 0)
    unsigned long long nDescriptorOffset = 0;  // of its descriptor in the file
};

struct HeaderProblem {
    unsigned long long nOffset;  // file offset the problem is at
    std::string what;
    bool bFatal;  // the engine cannot read the table (or would read it wrongly)
};

struct RawTable {
    unsigned long long nFileSize = 0;
    unsigned nVersionByte = 0;
    int nYear = 0;  // last update; year in full (1900 + the stored byte)
    int nMonth = 0;
    int nDay = 0;
    long long nRecordCount = 0;  // as the header states it (signed 32-bit)
    unsigned nHeaderLength = 0;
    unsigned nRecordLength = 0;
    std::vector<RawColumn> columns;
    long long nTerminatorOffset = -1;     // where the 0x0D after the descriptors is; -1: none
    unsigned long long nRowBytes = 1;     // 1 (deletion flag) + the columns' widths
    unsigned long long nRowsPresent = 0;  // whole rows from header length to the end of the file
    unsigned long long nTailBytes = 0;    // bytes after the last whole row
    std::vector<HeaderProblem> problems;
    bool bDbase3 = false;  // the first byte names dBASE III; nothing else is looked at otherwise

    // The first fatal problem's text, or empty when the table is readable.
    std::string FatalReason() const;
};

// The most column descriptors a header can hold (its length is 16 bits).
constexpr size_t kMaxColumns = 2046;

// Reads header and descriptors of the file at path. False, with a one-line reason, when the file
// cannot be opened, is a directory, is empty or ends inside the 32-byte header. Otherwise true;
// what is wrong with header or descriptors is listed in table.problems.
bool ReadRawTable(const std::string& path, RawTable& table, std::string& reason);

// Reads up to n bytes at offset of the open descriptor fd, retrying interrupted and partial
// reads; the count read (short only at the end of the file), or -1 with errno set.
long long ReadAt(int fd, unsigned char* buf, size_t n, unsigned long long offset);

}  // namespace qvtool

#endif  // QUORVEL_TOOLS_TABLEHEADER_H
