#include "LgeDbfFile.h"

#include "LogReaderOps.h"

LgeDbfFile::LgeDbfFile(const CString& strPath, LgeSchema* pSchema)
    : ZDbfFile(strPath, pSchema),
      m_nReadFirst(-1),
      m_nReadCount(0),
      m_nNumOfFields(0),
      m_eSchemaVer(LGE_SCHEMA_VER_1) {}

LgeDbfFile::~LgeDbfFile() = default;

int LgeDbfFile::ReadRecord(LONG nRow, LOGEVENT2* pRecord) {
    return qv::ReadLogRecord(
        *this, {m_nReadFirst, m_nReadCount}, nRow, pRecord,
        "LgeDbfFile::ReadRecord: FillReadBuffer/CFileException: because: (%d)\n");
}

unsigned short LgeDbfFile::SetNumOfFields() {
    m_nNumOfFields = qv::CountLogFields(*this, {m_nReadFirst, m_nReadCount}, m_nNumOfFields);
    return m_nNumOfFields;
}

void LgeDbfFile::CheckSchemaVer() {
    if (m_nNumOfFields == 0) {
        SetNumOfFields();
    }
    const LGE_SCHEMA_VER ver = m_nNumOfFields == 10   ? LGE_SCHEMA_VER_1
                               : m_nNumOfFields == 12 ? LGE_SCHEMA_VER_2
                                                      : LGE_SCHEMA_VER_NONE;
    if (GetSchema() != nullptr) {
        static_cast<LgeSchema*>(GetSchema())->SetSchemaVer(ver);
    }
}

LGE_SCHEMA_VER LgeDbfFile::GetSchemaVer() {
    return GetSchema() != nullptr ? static_cast<LgeSchema*>(GetSchema())->GetSchemaVer()
                                  : LGE_SCHEMA_VER_NONE;
}

void LgeDbfFile::SetSchemaVer(LGE_SCHEMA_VER ver) {
    m_eSchemaVer = (ver == LGE_SCHEMA_VER_1 || ver == LGE_SCHEMA_VER_2) ? ver : LGE_SCHEMA_VER_NONE;
    if (GetSchema() != nullptr) {
        static_cast<LgeSchema*>(GetSchema())->SetSchemaVer(m_eSchemaVer);
    }
}
