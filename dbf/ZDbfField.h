// ZDbfField: one column of a table: its descriptor attributes (name, type letter, width, decimal
// count) and the conversion between the column's fixed-width text in a row and the value in a
// caller's record. The five column classes derive from it; the base converts nothing.
//
// Conversions take a row cursor by reference: on entry it points at the column's first byte, on
// return at the next column's first byte. They never fail: every text yields a value and every
// value a text. No conversion writes a terminator into a row.
#ifndef QUORVEL_DBF_ZDBFFIELD_H
#define QUORVEL_DBF_ZDBFFIELD_H

#include "ByteOrder.h"
#include "CObject.h"
#include "CString.h"

class QV_API ZDbfField : public CObject {
    DECLARE_DYNAMIC(ZDbfField)
  public:
    // The 32-byte field descriptor of the table file, byte for byte:
    //   offset 0   11 bytes column name, NUL-padded; byte 10 always 0 when written here
    //   offset 11  type letter 'C', 'D', 'F', 'L' or 'N'
    //   offset 12  uint32 LE offset of the column in the row (ignored when reading)
    //   offset 16  width in bytes
    //   offset 17  decimal count
    //   offset 18  14 reserved bytes, zero
    struct QV_API DbfFldDesc {
        static constexpr size_t kSize = 32;
        static constexpr size_t kNameSize = 11;
        static constexpr size_t kTypeOffset = 11;
        static constexpr size_t kColumnOffset = 12;
        static constexpr size_t kWidthOffset = 16;
        static constexpr size_t kDecimalsOffset = 17;

        BYTE m_bytes[kSize];

        // The name: the name bytes up to the first NUL, at most 11 characters.
        CString GetName() const;
        // Stores the first 10 characters of pszName, NUL-padded; byte 10 stays 0.
        void SetName(LPCSTR pszName);
        char GetType() const { return static_cast<char>(m_bytes[kTypeOffset]); }
        void SetType(char chType) { m_bytes[kTypeOffset] = static_cast<BYTE>(chType); }
        DWORD GetColumnOffset() const { return qv::LoadLE32(m_bytes + kColumnOffset); }
        void SetColumnOffset(DWORD n) { qv::StoreLE32(m_bytes + kColumnOffset, n); }
        BYTE GetWidth() const { return m_bytes[kWidthOffset]; }
        void SetWidth(BYTE n) { m_bytes[kWidthOffset] = n; }
        BYTE GetDecimals() const { return m_bytes[kDecimalsOffset]; }
        void SetDecimals(BYTE n) { m_bytes[kDecimalsOffset] = n; }
    };

    ZDbfField(LPCSTR pszName, char chType, unsigned char nWidth, unsigned char nDecimals);
    // Takes name, type letter, width and decimal count from the descriptor as they stand.
    explicit ZDbfField(const DbfFldDesc* desc);
    ~ZDbfField() override;
    ZDbfField(const ZDbfField&) = delete;
    ZDbfField& operator=(const ZDbfField&) = delete;

    // Value at member -> column text at cursor; advances cursor past the column.
    virtual void WriteToBuffer(unsigned char*& cursor, void* member);
    // Column text at cursor -> value at member; advances cursor past the column.
    virtual void ReadFromBuffer(unsigned char*& cursor, void* member);

    CString GetName() const { return m_strName; }
    char GetType() const { return m_chType; }
    unsigned char GetWidth() const { return m_nWidth; }
    unsigned char GetDecimals() const { return m_nDecimals; }

  protected:
    CString m_strName;
    char m_chType;
    unsigned char m_nWidth;
    unsigned char m_nDecimals;
};

static_assert(sizeof(ZDbfField::DbfFldDesc) == 32, "a descriptor is 32 bytes");

#endif  // QUORVEL_DBF_ZDBFFIELD_H
