// DbfDateField: a 'D' column, text YYYYMMDD (8 digits), value a 32-bit time (TIME32) at member.
//
// Writing stores the local calendar date of the time value; the time of day is dropped. A value
// that has no local calendar date is stored as 8 blanks, the empty date of the format.
// Reading gives local midnight of the stored date (daylight saving decided by the platform).
// A text that does not hold three numbers, holds a year, month or day of 0 ("00000000" is a
// common empty date), or names a time outside the 32-bit range reads as 0.
//
// A column whose descriptor width is not 8 converts only within its width: reading takes at most
// width bytes, writing stores at most 8 text bytes and blank-pads a wider column.
//
// The field remembers its last conversion each way (a log holds thousands of rows of one date
// in a row), and forgets both when the process's time zone may have changed (TimeZoneWatch).
#ifndef QUORVEL_DBF_DBFDATEFIELD_H
#define QUORVEL_DBF_DBFDATEFIELD_H

#include "TimeZoneWatch.h"
#include "ZDbfField.h"

class QV_API DbfDateField : public ZDbfField {
    DECLARE_DYNAMIC(DbfDateField)
  public:
    static constexpr unsigned char kWidth = 8;

    explicit DbfDateField(LPCSTR pszName);
    explicit DbfDateField(const DbfFldDesc* desc);
    ~DbfDateField() override;

    void WriteToBuffer(unsigned char*& cursor, void* member) override;
    void ReadFromBuffer(unsigned char*& cursor, void* member) override;

  private:
    // Drops the remembered conversions when the zone may have changed.
    void CheckZone();

    TimeZoneWatch m_zone;
    // The last text read (its first min(8, width) bytes) and the value it gave.
    bool m_bReadKnown = false;
    unsigned char m_readText[kWidth] = {};
    TIME32 m_nReadValue = 0;
    // The last value written and its text (0 or 8 characters).
    bool m_bWriteKnown = false;
    TIME32 m_nWriteValue = 0;
    unsigned char m_nWriteLength = 0;
    char m_writeText[kWidth] = {};
};

#endif  // QUORVEL_DBF_DBFDATEFIELD_H
