// DbfFloatField: an 'F' column, value a double at member.
//
// Writing formats the value fixed-point, right-aligned in at least width characters with the
// decimal count, in the process's C-runtime locale. Where the user's decimal separator
// (m_szDecimalSep[0], taken from the user locale at construction) appears, '.' is stored instead.
// When the separator lies beyond the width, the column becomes width '*' characters; otherwise
// a longer text is cut to the width. The text is formed in full whatever its length.
// Reading: a '*' anywhere gives the largest finite double; otherwise the first '.' becomes the
// user's separator again and the text is parsed with strtod (a text with no number gives 0.0).
#ifndef QUORVEL_DBF_DBFFLOATFIELD_H
#define QUORVEL_DBF_DBFFLOATFIELD_H

#include "ZDbfField.h"

class QV_API DbfFloatField : public ZDbfField {
    DECLARE_DYNAMIC(DbfFloatField)
  public:
    DbfFloatField(LPCSTR pszName, unsigned char nWidth, unsigned char nDecimals);
    explicit DbfFloatField(const DbfFldDesc* desc);
    ~DbfFloatField() override;

    void WriteToBuffer(unsigned char*& cursor, void* member) override;
    void ReadFromBuffer(unsigned char*& cursor, void* member) override;

    // The user's decimal separator and a NUL; '.' when the user locale's separator cannot be
    // had as a single byte.
    char m_szDecimalSep[2];

  private:
    void QueryDecimalSeparator();
};

#endif  // QUORVEL_DBF_DBFFLOATFIELD_H
