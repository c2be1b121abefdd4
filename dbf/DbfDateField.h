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
#ifndef QUORVEL_DBF_DBFDATEFIELD_H
#define QUORVEL_DBF_DBFDATEFIELD_H

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
};

#endif  // QUORVEL_DBF_DBFDATEFIELD_H
