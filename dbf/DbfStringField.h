// DbfStringField: a 'C' column.
//
// Text mode (m_bText == 1): the member is NUL-terminated text. Writing stores it left-aligned and
// blank-padded, cut at the width; reading hands the column text (up to its first NUL) to the
// member, NUL-terminated, and normalises it (trailing blanks removed).
// Raw mode (any other m_bText): exactly width bytes are copied as they stand, no terminator.
//
// The plain conversions assume the member holds width + 1 bytes (text) or width bytes (raw). The
// bounded ones take the member's real size and never touch a byte outside it: a text is cut to
// nMemberSize - 1 bytes (never inside a multibyte character) and stays NUL-terminated; a raw
// column copies at most nMemberSize bytes and blank-pads the rest of the column.
#ifndef QUORVEL_DBF_DBFSTRINGFIELD_H
#define QUORVEL_DBF_DBFSTRINGFIELD_H

#include "ZDbfField.h"

class QV_API DbfStringField : public ZDbfField {
    DECLARE_DYNAMIC(DbfStringField)
  public:
    DbfStringField(LPCSTR pszName, unsigned char nWidth, int bText);
    // From a descriptor: text mode.
    explicit DbfStringField(const DbfFldDesc* desc);
    ~DbfStringField() override;

    void WriteToBuffer(unsigned char*& cursor, void* member) override;
    void ReadFromBuffer(unsigned char*& cursor, void* member) override;

    // REQUIRES: member points at nMemberSize bytes (it may be null when nMemberSize is 0).
    void WriteToBufferBounded(unsigned char*& cursor, const void* member, size_t nMemberSize) const;
    void ReadFromBufferBounded(unsigned char*& cursor, void* member, size_t nMemberSize) const;

    int m_bText;
};

#endif  // QUORVEL_DBF_DBFSTRINGFIELD_H
