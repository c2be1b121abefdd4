#include "LgaSchema.h"

#include <cstddef>
#include <new>

#include "LogLayout.h"

IMPLEMENT_DYNAMIC(LgaSchema, ZDbfSchema)

namespace {

using qv::LogColumn;
using qv::LogMember;

#if defined(QUORVEL32_LEGACY_LAYOUT) && QUORVEL32_LEGACY_LAYOUT
const unsigned char kTagNameWidth = 40;
const unsigned char kDescriptionWidth = 132;
#else
const unsigned char kTagNameWidth = 255;
const unsigned char kDescriptionWidth = 254;
#endif

#define QV_MEMBER(m) offsetof(ALMEVENT, m), sizeof(ALMEVENT::m)

const LogColumn kAlarmColumns[] = {
    {"Date", LogMember::kDate, 8, 0, QV_MEMBER(date)},
    {"Time", LogMember::kText, 8, 0, QV_MEMBER(time)},
    {"Militime", LogMember::kWord, 5, 0, QV_MEMBER(militime)},
    {"TransType", LogMember::kText, 5, 0, QV_MEMBER(transType)},
    {"TagName", LogMember::kText, kTagNameWidth, 0, QV_MEMBER(tagName)},
    {"TagValue", LogMember::kDouble, 20, 10, QV_MEMBER(tagValue)},
    {"TagType", LogMember::kRaw, 1, 0, QV_MEMBER(tagType)},
    {"ThreshVal", LogMember::kDouble, 20, 10, QV_MEMBER(threshVal)},
    {"ThreshNum", LogMember::kWord, 1, 0, QV_MEMBER(threshNum)},
    {"ThreshLabl", LogMember::kText, 20, 0, QV_MEMBER(threshLabel)},
    {"Severity", LogMember::kWord, 1, 0, QV_MEMBER(severity)},
    {"DstFlag", LogMember::kRaw, 1, 0, QV_MEMBER(dstFlag)},
    {"UserId", LogMember::kText, 8, 0, QV_MEMBER(userId)},
    {"AlarmType", LogMember::kWord, 1, 0, QV_MEMBER(alarmType)},
    {"Dscription", LogMember::kText, kDescriptionWidth, 0, QV_MEMBER(description)},
    {"UserStn", LogMember::kText, 15, 0, QV_MEMBER(userStn)},
    {"LoggingStn", LogMember::kText, 15, 0, QV_MEMBER(loggingStn)},
};

#undef QV_MEMBER

const qv::LogLayout kAlarmLayout = {kAlarmColumns, 15, 17, 12, 20};

}  // namespace

LgaSchema::LgaSchema(LGA_SCHEMA_VER ver)
    : m_schemaVer(ver), m_pRowCache(new (std::nothrow) qv::LogRowCache) {}

LgaSchema::~LgaSchema() {
    delete m_pRowCache;
}

void LgaSchema::CreateFieldDesc() {
    qv::CreateLogFields(*this, kAlarmLayout, m_schemaVer);
}

int LgaSchema::ReadFieldDesc(int& index, const ZDbfField::DbfFldDesc* desc) {
    if (ZDbfSchema::ReadFieldDesc(index, desc) == 0) {
        return 0;
    }
    if (index >= kAlarmLayout.nColumnsV1 && index < kAlarmLayout.nColumnsV2) {
        m_schemaVer = LGA_SCHEMA_VER_2;
    }
    return qv::CheckLogField(*this, kAlarmLayout, index);
}

void LgaSchema::ReadFromBuffer(unsigned char*& cursor, void* record) {
    qv::ReadLogRow(*this, kAlarmLayout, m_schemaVer, m_pRowCache, cursor, record);
}

void LgaSchema::WriteToBuffer(unsigned char*& cursor, void* record) {
    qv::WriteLogRow(*this, kAlarmLayout, m_schemaVer, m_pRowCache, cursor, record);
}

void LgaSchema::SetSchemaVer(LGA_SCHEMA_VER ver) {
    m_schemaVer = (ver >= LGA_SCHEMA_VER_1 && ver <= LGA_SCHEMA_VER_2) ? ver : LGA_SCHEMA_VER_NONE;
}
