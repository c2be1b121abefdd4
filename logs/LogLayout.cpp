#include "LogLayout.h"

#include <cstring>
#include <typeinfo>

#include "ByteOrder.h"
#include "DbfDateField.h"
#include "DbfFloatField.h"
#include "DbfNumericField.h"
#include "DbfStringField.h"
#include "TextColumn.h"

namespace qv {

namespace {

const unsigned char kRowNotDeleted = ' ';

const CRuntimeClass* ClassFor(LogMember member) {
    switch (member) {
        case LogMember::kDate:
            return RUNTIME_CLASS(DbfDateField);
        case LogMember::kText:
        case LogMember::kRaw:
            return RUNTIME_CLASS(DbfStringField);
        case LogMember::kDouble:
            return RUNTIME_CLASS(DbfFloatField);
        case LogMember::kWord:
        case LogMember::kLong:
            return RUNTIME_CLASS(DbfNumericField);
    }
    return nullptr;
}

int ColumnCount(const LogLayout& layout, int nVersion) {
    return nVersion == 2 ? layout.nColumnsV2 : layout.nColumnsV1;
}

// Large enough for what any field writes into its member: a text of width 255 and its NUL.
struct Scratch {
    unsigned char bytes[256];
};

// The field in slot i, or null (ZDbfSchema::GetField without the call).
ZDbfField* FieldAt(const ZDbfSchema& schema, int i) {
    return i < schema.GetSize() ? static_cast<ZDbfField*>(schema.GetAt(i)) : nullptr;
}

// Whether the field's class is the one the column's member needs: IsKindOf, asked again only
// when the slot's object or its dynamic type changed since the previous row.
bool Converts(LogRowCache* pCache, int i, const ZDbfField& field, const LogColumn& col) {
    if (pCache == nullptr || i >= LogRowCache::kMaxColumns) {
        return field.IsKindOf(ClassFor(col.member)) != 0;
    }
    const void* pType = &typeid(field);
    LogRowCache::Entry& entry = pCache->entries[i];
    if (entry.pField != &field || entry.pType != pType) {
        entry.pField = &field;
        entry.pType = pType;
        entry.bConverts = field.IsKindOf(ClassFor(col.member)) != 0;
    }
    return entry.bConverts;
}

}  // namespace

void CreateLogFields(ZDbfSchema& schema, const LogLayout& layout, int nVersion) {
    schema.RemoveAllFields();
    const int n = ColumnCount(layout, nVersion);
    for (int i = 0; i < n; ++i) {
        const LogColumn& col = layout.pColumns[i];
        const unsigned char width =
            (i == layout.nWideIndex && nVersion == 2) ? layout.nWideWidthV2 : col.nWidth;
        ZDbfField* pField = nullptr;
        switch (col.member) {
            case LogMember::kDate:
                pField = new DbfDateField(col.pszName);
                break;
            case LogMember::kText:
                pField = new DbfStringField(col.pszName, width, 1);
                break;
            case LogMember::kRaw:
                pField = new DbfStringField(col.pszName, width, 0);
                break;
            case LogMember::kDouble:
                pField = new DbfFloatField(col.pszName, width, col.nDecimals);
                break;
            case LogMember::kWord:
            case LogMember::kLong:
                pField = new DbfNumericField(col.pszName, width, col.nDecimals);
                break;
        }
        schema.SetField(i, pField);
    }
}

int CheckLogField(ZDbfSchema& schema, const LogLayout& layout, int index) {
    ZDbfField* pField = schema.GetField(index);
    if (pField == nullptr || index < 0 || index >= layout.nColumnsV2) {
        return 0;
    }
    const LogColumn& col = layout.pColumns[index];
    if (!pField->IsKindOf(ClassFor(col.member))) {
        return 0;
    }
    if (col.member == LogMember::kText || col.member == LogMember::kRaw) {
        static_cast<DbfStringField*>(pField)->m_bText = col.member == LogMember::kText ? 1 : 0;
    }
    return 1;
}

void ReadLogRow(const ZDbfSchema& schema, const LogLayout& layout, int nVersion,
                LogRowCache* pCache, unsigned char*& cursor, void* pRecord) {
    cursor += 1;  // the deletion flag: a row marked deleted converts like any other
    unsigned char* record = static_cast<unsigned char*>(pRecord);
    const int n = ColumnCount(layout, nVersion);
    for (int i = 0; i < n; ++i) {
        ZDbfField* pField = FieldAt(schema, i);
        if (pField == nullptr) {
            continue;
        }
        const LogColumn& col = layout.pColumns[i];
        unsigned char* member = record + col.nOffset;
        if (!Converts(pCache, i, *pField, col)) {
            Scratch scratch;
            pField->ReadFromBuffer(cursor, scratch.bytes);
            continue;
        }
        switch (col.member) {
            case LogMember::kText:
            case LogMember::kRaw: {
                // DbfStringField::ReadFromBufferBounded (not virtual) without the call.
                const DbfStringField* pText = static_cast<DbfStringField*>(pField);
                if (pText->m_bText == 1) {
                    ReadTextColumn(cursor, pText->GetWidth(), member, col.nSize);
                } else {
                    ReadRawColumn(cursor, pText->GetWidth(), member, col.nSize);
                }
                cursor += pText->GetWidth();
                break;
            }
            case LogMember::kWord: {
                LONG value = 0;
                pField->ReadFromBuffer(cursor, &value);
                StoreUnaligned<WORD>(member,
                                     static_cast<WORD>(static_cast<uint32_t>(value) & 0xFFFF));
                break;
            }
            case LogMember::kDate:
            case LogMember::kDouble:
            case LogMember::kLong:
                pField->ReadFromBuffer(cursor, member);
                break;
        }
    }
}

void WriteLogRow(const ZDbfSchema& schema, const LogLayout& layout, int nVersion,
                 LogRowCache* pCache, unsigned char*& cursor, const void* pRecord) {
    *cursor++ = kRowNotDeleted;
    const unsigned char* record = static_cast<const unsigned char*>(pRecord);
    const int n = ColumnCount(layout, nVersion);
    for (int i = 0; i < n; ++i) {
        ZDbfField* pField = FieldAt(schema, i);
        if (pField == nullptr) {
            continue;
        }
        const LogColumn& col = layout.pColumns[i];
        const unsigned char* member = record + col.nOffset;
        if (!Converts(pCache, i, *pField, col)) {
            Scratch scratch = {};
            pField->WriteToBuffer(cursor, scratch.bytes);
            continue;
        }
        switch (col.member) {
            case LogMember::kText:
            case LogMember::kRaw:
                static_cast<DbfStringField*>(pField)->WriteToBufferBounded(cursor, member,
                                                                           col.nSize);
                break;
            case LogMember::kWord: {
                LONG value = LoadUnaligned<WORD>(member);
                pField->WriteToBuffer(cursor, &value);
                break;
            }
            case LogMember::kDate:
            case LogMember::kDouble:
            case LogMember::kLong: {
                // The field only reads the member; copy it so that no const is cast away.
                unsigned char value[8];
                std::memcpy(value, member, col.nSize);
                pField->WriteToBuffer(cursor, value);
                break;
            }
        }
    }
}

}  // namespace qv
