// DbfNumericField: an 'N' column, value a 32-bit signed integer (LONG) at member.
//
// Writing formats the value as a decimal integer right-aligned in the width; a longer text is cut
// to its first width characters (so 1234567 in 5 columns is stored as 12345). The decimal count
// plays no part. Reading parses like atol: leading blanks, an optional sign, digits up to the
// first other character (a fraction is dropped), 0 when there is no number. A number beyond the
// 32-bit range reads as the nearest 32-bit limit.
#ifndef QUORVEL_DBF_DBFNUMERICFIELD_H
#define QUORVEL_DBF_DBFNUMERICFIELD_H

#include "ZDbfField.h"

class QV_API DbfNumericField : public ZDbfField {
    DECLARE_DYNAMIC(DbfNumericField)
  public:
    DbfNumericField(LPCSTR pszName, unsigned char nWidth, unsigned char nDecimals);
    explicit DbfNumericField(const DbfFldDesc* desc);
    ~DbfNumericField() override;

    void WriteToBuffer(unsigned char*& cursor, void* member) override;
    void ReadFromBuffer(unsigned char*& cursor, void* member) override;
};

#endif  // QUORVEL_DBF_DBFNUMERICFIELD_H
