// ZDbfSchema: the columns of one table, as an ordered array of owned ZDbfField objects in column
// order (the order of the descriptors and of the columns in every row). A slot may be empty
// (null): empty slots are skipped when fields are counted, widths summed and descriptors written,
// and every other field keeps its index, so derived schemas address columns by fixed indexes.
//
// The schema owns and deletes its fields. It is created by its user and handed to a table file
// object (ZDbfFile), which owns and deletes it from then on.
//
// The generic schema accepts any table whose columns are all of the five types and converts no
// rows; derived schemas (the alarm and event layouts) override the four virtuals.
#ifndef QUORVEL_DBF_ZDBFSCHEMA_H
#define QUORVEL_DBF_ZDBFSCHEMA_H

#include "CFile.h"
#include "CObArray.h"
#include "ZDbfField.h"

class QV_API ZDbfSchema : public CObArray {
    DECLARE_DYNAMIC(ZDbfSchema)
  public:
    // The most columns a table can describe: its 16-bit header length holds 32 x 2046 + 33.
    static constexpr int kMaxFields = 2046;

    ZDbfSchema();
    // Deletes every field and empties the array.
    ~ZDbfSchema() override;

    void AssertValid() const override;
    void Dump(CDumpContext& dc) const override;

    // Builds the fields of the layout the schema stands for (once per table creation, before
    // the header is built). The generic schema has no layout and does nothing.
    virtual void CreateFieldDesc();
    // Creates the field the descriptor's type letter names ('C' text mode, 'D', 'F', 'L', 'N')
    // with the descriptor's name, width and decimal count, and stores it at index, replacing
    // (and deleting) a field already there. Returns 1, or 0 for any other type letter or when
    // memory runs out (nothing stored). Derived schemas call this first, then test the field.
    virtual int ReadFieldDesc(int& index, const ZDbfField::DbfFldDesc* desc);
    // Row at cursor -> caller's record. The generic schema converts nothing.
    virtual void ReadFromBuffer(unsigned char*& cursor, void* record);
    // Caller's record -> row at cursor. The generic schema converts nothing.
    virtual void WriteToBuffer(unsigned char*& cursor, void* record);

    // The field at index, or null for an empty slot or an index outside the array.
    ZDbfField* GetField(int index) const;
    // Number of fields (non-empty slots).
    WORD GetNumOfFields() const;
    // 1 + the sum of the fields' widths (the 1 is the deletion flag), kept to 16 bits as the
    // header stores it.
    WORD GetRecordLength() const;
    // The same sum without the 16-bit limit: the bytes a row conversion walks.
    DWORD GetRowBytes() const;

    // Reads the descriptor block of an open table, positioned right after the 32-byte header, and
    // rebuilds the fields from it (fields held before are deleted first). Returns 1 when the
    // terminator 0x0D was reached with every descriptor accepted; 0 when a descriptor is refused,
    // the file ends before the terminator, more than kMaxFields descriptors follow, or a file
    // error occurs (the exception is consumed). Fields accepted before a refusal stay.
    int ReadFieldDescs(CFile* pFile);
    // Writes the descriptors of the fields and the terminator with one write at the current
    // position. Returns 1; file errors arrive as CFileException.
    int WriteFieldDescs(CFile* pFile);

    // Stores pField at index (growing the array), deleting a field it replaces. The schema owns
    // pField from then on, also when this raises CMemoryException (it is deleted then).
    void SetField(int index, ZDbfField* pField);
    // Deletes every field and empties the array.
    void RemoveAllFields();
};

#endif  // QUORVEL_DBF_ZDBFSCHEMA_H
