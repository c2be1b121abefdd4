// DbfBooleanField: an 'L' column, value a 32-bit int at member (nonzero = true).
//
// Writing stores 'T' or 'F' in the first byte and blanks in the rest of the column; reading gives
// 1 for 'T', 't', 'Y', 'y' and 0 for every other byte. The cursor moves by the column's width, so
// a table whose logical column is not 1 wide keeps its columns where its descriptors put them; a
// column of width 0 converts nothing and reads as 0.
#ifndef QUORVEL_DBF_DBFBOOLEANFIELD_H
#define QUORVEL_DBF_DBFBOOLEANFIELD_H

#include "ZDbfField.h"

class QV_API DbfBooleanField : public ZDbfField {
    DECLARE_DYNAMIC(DbfBooleanField)
  public:
    explicit DbfBooleanField(LPCSTR pszName);
    explicit DbfBooleanField(const DbfFldDesc* desc);
    ~DbfBooleanField() override;

    void WriteToBuffer(unsigned char*& cursor, void* member) override;
    void ReadFromBuffer(unsigned char*& cursor, void* member) override;
};

#endif  // QUORVEL_DBF_DBFBOOLEANFIELD_H
