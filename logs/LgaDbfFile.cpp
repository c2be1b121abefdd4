#include "LgaDbfFile.h"

#include "LogReaderOps.h"

LgaDbfFile::LgaDbfFile(const CString& strPath, LgaSchema* pSchema)
    : ZDbfFile(strPath, pSchema),
      m_nReadFirst(-1),
      m_nReadCount(0),
      m_nNumOfFields(0),
      m_eSchemaVer(LGA_SCHEMA_VER_1) {}

LgaDbfFile::~LgaDbfFile() = default;

int LgaDbfFile::ReadRecord(LONG nRow, ALMEVENT* pRecord) {
    return qv::ReadLogRecord(
        *this, {m_nReadFirst, m_nReadCount}, nRow, pRecord,
        "LgaDbfFile::ReadRecord: FillReadBuffer/CFileException: because: (%d)\n");
}

unsigned short LgaDbfFile::SetNumOfFields() {
    m_nNumOfFields = qv::CountLogFields(*this, {m_nReadFirst, m_nReadCount}, m_nNumOfFields);
    return m_nNumOfFields;
}

void LgaDbfFile::CheckSchemaVer() {
    if (m_nNumOfFields == 0) {
        SetNumOfFields();
    }
    const LGA_SCHEMA_VER ver = m_nNumOfFields == 15   ? LGA_SCHEMA_VER_1
                               : m_nNumOfFields == 17 ? LGA_SCHEMA_VER_2
                                                      : LGA_SCHEMA_VER_NONE;
    if (GetSchema() != nullptr) {
        static_cast<LgaSchema*>(GetSchema())->SetSchemaVer(ver);
    }
}

LGA_SCHEMA_VER LgaDbfFile::GetSchemaVer() {
    return GetSchema() != nullptr ? static_cast<LgaSchema*>(GetSchema())->GetSchemaVer()
                                  : LGA_SCHEMA_VER_NONE;
}

void LgaDbfFile::SetSchemaVer(LGA_SCHEMA_VER ver) {
    m_eSchemaVer = (ver == LGA_SCHEMA_VER_1 || ver == LGA_SCHEMA_VER_2) ? ver : LGA_SCHEMA_VER_NONE;
    if (GetSchema() != nullptr) {
        static_cast<LgaSchema*>(GetSchema())->SetSchemaVer(m_eSchemaVer);
    }
}
