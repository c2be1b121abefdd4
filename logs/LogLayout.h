// The column layout of a log table and the row conversions driven by it. Internal: the alarm and
// event schemas are one design that differs only in their layout tables, and this is that design.
//
// A layout lists the columns in order with their field class, widths, text mode and the member of
// the host record each converts into. Conversions are bounded by the member: a table whose
// column is wider than the build's member (a current-layout table read by the legacy build) is
// read with each value cut to its member, and a row is never filled from outside a member.
#ifndef QUORVEL_LOGS_LOGLAYOUT_H
#define QUORVEL_LOGS_LOGLAYOUT_H

#include "ZDbfSchema.h"

namespace qv {

// How a column's value sits in the host record.
enum class LogMember : unsigned char {
    kDate,    // TIME32, 'D' column
    kText,    // NUL-terminated char array, 'C' column in text mode
    kRaw,     // one raw byte, 'C' column in raw mode
    kDouble,  // double, 'F' column
    kWord,    // WORD through a 32-bit temporary: zero-extended out, low 16 bits in ('N' column)
    kLong,    // LONG, 'N' column
};

struct LogColumn {
    const char* pszName;
    LogMember member;
    unsigned char nWidth;  // in this build's layout; see LogLayout::nWideIndex for version 2
    unsigned char nDecimals;
    size_t nOffset;  // of the member in the record
    size_t nSize;    // of the member in the record, in bytes
};

struct LogLayout {
    const LogColumn* pColumns;
    int nColumnsV1;              // columns of version 1 (the first ones)
    int nColumnsV2;              // columns of version 2 (all of them)
    int nWideIndex;              // the user column, wider in version 2
    unsigned char nWideWidthV2;  // its width in version 2
};

// Builds the fields of the layout's version (2: all columns, any other value: version 1) into
// the schema, replacing what it held.
void CreateLogFields(ZDbfSchema& schema, const LogLayout& layout, int nVersion);

// Tests the field the base schema just stored at index against the layout: its class must be the
// one the column's member needs; a text or raw column gets its mode set. Returns 1 to accept.
// An index past the last column is refused.
int CheckLogField(ZDbfSchema& schema, const LogLayout& layout, int index);

// What a schema remembers between rows: for each column, the field last seen in its slot, that
// field's dynamic type, and whether its class is the one the column's member needs. A slot that
// holds another object, or an object of another type at the same address (a field deleted and a
// new one made), is tested again; the class test of a field of unchanged type cannot change.
struct LogRowCache {
    static constexpr int kMaxColumns = 17;
    struct Entry {
        const ZDbfField* pField = nullptr;
        const void* pType = nullptr;  // &typeid(*pField)
        bool bConverts = false;
    };
    Entry entries[kMaxColumns];
};

// Converts a row into the record and back, visiting the columns of the version (2: all, else
// version 1). An index that holds no field is skipped and the cursor stays where it is; a field
// of another class than the column needs converts through a scratch value, so neither the row
// nor the record is touched outside the column and the member. pCache may be null.
void ReadLogRow(const ZDbfSchema& schema, const LogLayout& layout, int nVersion,
                LogRowCache* pCache, unsigned char*& cursor, void* pRecord);
void WriteLogRow(const ZDbfSchema& schema, const LogLayout& layout, int nVersion,
                 LogRowCache* pCache, unsigned char*& cursor, const void* pRecord);

}  // namespace qv

#endif  // QUORVEL_LOGS_LOGLAYOUT_H
