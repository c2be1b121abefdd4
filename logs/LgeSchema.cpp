#include "LgeSchema.h"

#include <cstddef>
#include <new>

#include "LogLayout.h"

IMPLEMENT_DYNAMIC(LgeSchema, ZDbfSchema)

namespace {

using qv::LogColumn;
using qv::LogMember;

#if defined(QUORVEL32_LEGACY_LAYOUT) && QUORVEL32_LEGACY_LAYOUT
const unsigned char kSourceWidth = 20;
const unsigned char kDescriptionWidth = 132;
#else
const unsigned char kSourceWidth = 31;
const unsigned char kDescriptionWidth = 255;
#endif

#define QV_MEMBER(m) offsetof(LOGEVENT2, m), sizeof(LOGEVENT2::m)

const LogColumn kEventColumns[] = {
    {"Type", LogMember::kWord, 1, 0, QV_MEMBER(type)},
    {"Id", LogMember::kLong, 10, 0, QV_MEMBER(id)},
    {"Date", LogMember::kDate, 8, 0, QV_MEMBER(date)},
    {"Time", LogMember::kText, 8, 0, QV_MEMBER(time)},
    {"Militime", LogMember::kWord, 5, 0, QV_MEMBER(militime)},
    {"DstFlag", LogMember::kRaw, 1, 0, QV_MEMBER(dstFlag)},
    {"Category", LogMember::kText, 20, 0, QV_MEMBER(category)},
    {"Source", LogMember::kText, kSourceWidth, 0, QV_MEMBER(source)},
    {"User", LogMember::kText, 8, 0, QV_MEMBER(user)},
    {"Dscrptn", LogMember::kText, kDescriptionWidth, 0, QV_MEMBER(description)},
    {"UserStn", LogMember::kText, 15, 0, QV_MEMBER(userStn)},
    {"LoggingStn", LogMember::kText, 15, 0, QV_MEMBER(loggingStn)},
};

#undef QV_MEMBER

const qv::LogLayout kEventLayout = {kEventColumns, 10, 12, 8, 20};

}  // namespace

LgeSchema::LgeSchema(LGE_SCHEMA_VER ver)
    : m_schemaVer(ver), m_pRowCache(new (std::nothrow) qv::LogRowCache) {}

LgeSchema::~LgeSchema() {
    delete m_pRowCache;
}

void LgeSchema::CreateFieldDesc() {
    qv::CreateLogFields(*this, kEventLayout, m_schemaVer);
}

int LgeSchema::ReadFieldDesc(int& index, const ZDbfField::DbfFldDesc* desc) {
    if (ZDbfSchema::ReadFieldDesc(index, desc) == 0) {
        return 0;
    }
    if (index >= kEventLayout.nColumnsV1 && index < kEventLayout.nColumnsV2) {
        m_schemaVer = LGE_SCHEMA_VER_2;
    }
    return qv::CheckLogField(*this, kEventLayout, index);
}

void LgeSchema::ReadFromBuffer(unsigned char*& cursor, void* record) {
    qv::ReadLogRow(*this, kEventLayout, m_schemaVer, m_pRowCache, cursor, record);
}

void LgeSchema::WriteToBuffer(unsigned char*& cursor, void* record) {
    qv::WriteLogRow(*this, kEventLayout, m_schemaVer, m_pRowCache, cursor, record);
}

void LgeSchema::SetSchemaVer(LGE_SCHEMA_VER ver) {
    m_schemaVer = (ver >= LGE_SCHEMA_VER_1 && ver <= LGE_SCHEMA_VER_2) ? ver : LGE_SCHEMA_VER_NONE;
}
