#include "ZDbfSchema.h"

#include <cstring>
#include <memory>

#include "CMemoryException.h"
#include "DbfBooleanField.h"
#include "DbfDateField.h"
#include "DbfFloatField.h"
#include "DbfNumericField.h"
#include "DbfStringField.h"

IMPLEMENT_DYNAMIC(ZDbfSchema, CObArray)

namespace {

const BYTE kDescriptorTerminator = 0x0D;

struct FreeBytes {
    void operator()(BYTE* p) const { AfxFreeBytes(p); }
};

// A new field of the class the type letter names, or null for any other letter.
ZDbfField* NewFieldFor(const ZDbfField::DbfFldDesc* desc) {
    switch (desc->GetType()) {
        case 'C':
            return new DbfStringField(desc);
        case 'D':
            return new DbfDateField(desc);
        case 'F':
            return new DbfFloatField(desc);
        case 'L':
            return new DbfBooleanField(desc);
        case 'N':
            return new DbfNumericField(desc);
        default:
            return nullptr;
    }
}

}  // namespace

ZDbfSchema::ZDbfSchema() = default;

ZDbfSchema::~ZDbfSchema() {
    RemoveAllFields();
}

void ZDbfSchema::AssertValid() const {}
void ZDbfSchema::Dump(CDumpContext&) const {}

void ZDbfSchema::CreateFieldDesc() {}

int ZDbfSchema::ReadFieldDesc(int& index, const ZDbfField::DbfFldDesc* desc) {
    try {
        ZDbfField* pField = NewFieldFor(desc);
        if (pField == nullptr) {
            return 0;
        }
        SetField(index, pField);
        return 1;
    } catch (CMemoryException* e) {
        e->Delete();
        return 0;
    }
}

void ZDbfSchema::ReadFromBuffer(unsigned char*&, void*) {}

void ZDbfSchema::WriteToBuffer(unsigned char*&, void*) {}

ZDbfField* ZDbfSchema::GetField(int index) const {
    if (index < 0 || index >= GetSize()) {
        return nullptr;
    }
    return static_cast<ZDbfField*>(GetAt(index));
}

WORD ZDbfSchema::GetNumOfFields() const {
    WORD count = 0;
    for (int i = 0; i < GetSize(); ++i) {
        if (GetAt(i) != nullptr) {
            ++count;
        }
    }
    return count;
}

DWORD ZDbfSchema::GetRowBytes() const {
    DWORD sum = 1;
    for (int i = 0; i < GetSize(); ++i) {
        if (const ZDbfField* pField = GetField(i)) {
            sum += pField->GetWidth();
        }
    }
    return sum;
}

WORD ZDbfSchema::GetRecordLength() const {
    return static_cast<WORD>(GetRowBytes());
}

int ZDbfSchema::ReadFieldDescs(CFile* pFile) {
    RemoveAllFields();
    ZDbfField::DbfFldDesc desc;
    std::memset(&desc, 0, sizeof desc);
    try {
        for (int index = 0;; ++index) {
            if (pFile->Read(desc.m_bytes, 1) != 1) {
                return 0;  // the file ends before the terminator
            }
            if (desc.m_bytes[0] == kDescriptorTerminator) {
                return 1;
            }
            if (index >= kMaxFields ||
                pFile->Read(desc.m_bytes + 1, sizeof desc.m_bytes - 1) != sizeof desc.m_bytes - 1) {
                return 0;
            }
            if (ReadFieldDesc(index, &desc) == 0) {
                return 0;
            }
        }
    } catch (CFileException* e) {
        e->Delete();
        return 0;
    }
}

int ZDbfSchema::WriteFieldDescs(CFile* pFile) {
    const size_t n = GetNumOfFields();
    const size_t blockSize = ZDbfField::DbfFldDesc::kSize * n + 1;
    std::unique_ptr<BYTE[], FreeBytes> block(AfxNewBytes(blockSize));
    std::memset(block.get(), 0, blockSize);
    DWORD columnOffset = 1;  // the first byte after the deletion flag
    int slot = 0;
    for (size_t k = 0; k < n; ++k, ++slot) {
        while (GetField(slot) == nullptr) {
            ++slot;
        }
        const ZDbfField* pField = GetField(slot);
        ZDbfField::DbfFldDesc desc;
        std::memset(&desc, 0, sizeof desc);
        desc.SetName(pField->GetName());
        desc.SetType(pField->GetType());
        desc.SetColumnOffset(columnOffset);
        desc.SetWidth(pField->GetWidth());
        desc.SetDecimals(pField->GetDecimals());
        columnOffset += pField->GetWidth();
        std::memcpy(block.get() + k * ZDbfField::DbfFldDesc::kSize, desc.m_bytes,
                    sizeof desc.m_bytes);
    }
    block[blockSize - 1] = kDescriptorTerminator;
    pFile->Write(block.get(), static_cast<UINT>(blockSize));
    return 1;
}

void ZDbfSchema::SetField(int index, ZDbfField* pField) {
    std::unique_ptr<ZDbfField> owned(pField);
    ZDbfField* pOld = GetField(index);
    SetAtGrow(index, owned.get());
    owned.release();
    if (pOld != pField) {
        delete pOld;
    }
}

void ZDbfSchema::RemoveAllFields() {
    for (int i = 0; i < GetSize(); ++i) {
        delete static_cast<ZDbfField*>(GetAt(i));
    }
    SetSize(0, -1);
}
