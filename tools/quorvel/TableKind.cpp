#include "TableKind.h"

#include <memory>

#include "DbfFloatField.h"
#include "DbfStringField.h"
#include "LgaSchema.h"
#include "LgeSchema.h"
#include "SchemaVersion.h"
#include "ZDbfFile.h"
#include "ZDbfSchema.h"

namespace qvtool {

namespace {

struct NarrowColumn {
    int nIndex;
    unsigned char nWidth;
};

// The legacy build's widths where they differ from the current build's.
const NarrowColumn kAlarmLegacy[] = {{4, 40}, {14, 132}};  // "TagName", "Dscription"
const NarrowColumn kEventLegacy[] = {{7, 20}, {9, 132}};   // "Source", "Dscrptn"

template <size_t N>
void Narrow(ZDbfSchema& schema, const NarrowColumn (&columns)[N]) {
    for (const NarrowColumn& c : columns) {
        const ZDbfField* pOld = schema.GetField(c.nIndex);
        if (pOld != nullptr) {
            schema.SetField(c.nIndex, new DbfStringField(pOld->GetName(), c.nWidth, 1));
        }
    }
}

// The library's schemas with the legacy widths. Rows convert by the fields' widths, so the
// inherited conversions write legacy rows from the current build's records.
class LegacyAlarmSchema : public LgaSchema {
  public:
    explicit LegacyAlarmSchema(LGA_SCHEMA_VER ver) : LgaSchema(ver) {}
    void CreateFieldDesc() override {
        LgaSchema::CreateFieldDesc();
        Narrow(*this, kAlarmLegacy);
    }
};

class LegacyEventSchema : public LgeSchema {
  public:
    explicit LegacyEventSchema(LGE_SCHEMA_VER ver) : LgeSchema(ver) {}
    void CreateFieldDesc() override {
        LgeSchema::CreateFieldDesc();
        Narrow(*this, kEventLegacy);
    }
};

}  // namespace

const char* KindName(TableKind kind) {
    switch (kind) {
        case TableKind::kAlarm:
            return "alarm log";
        case TableKind::kEvent:
            return "event log";
        case TableKind::kGeneric:
            break;
    }
    return "generic table";
}

const char* KindPhrase(TableKind kind) {
    switch (kind) {
        case TableKind::kAlarm:
            return "an alarm log";
        case TableKind::kEvent:
            return "an event log";
        case TableKind::kGeneric:
            break;
    }
    return "a generic table";
}

TableKind KindFromWord(const std::string& word) {
    return word == "alarm"   ? TableKind::kAlarm
           : word == "event" ? TableKind::kEvent
                             : TableKind::kGeneric;
}

const char* KindWord(TableKind kind) {
    switch (kind) {
        case TableKind::kAlarm:
            return "alarm";
        case TableKind::kEvent:
            return "event";
        case TableKind::kGeneric:
            break;
    }
    return "generic";
}

bool IdentifyTable(const std::string& path, TableIdentity& identity, std::string& reason) {
    const int alarm = LgaSchemaVersion(path.c_str());
    if (alarm != LGA_SCHEMA_VER_NONE) {
        identity = {TableKind::kAlarm, alarm};
        return true;
    }
    const int event = LgeSchemaVersion(path.c_str());
    if (event != LGE_SCHEMA_VER_NONE) {
        identity = {TableKind::kEvent, event};
        return true;
    }
    identity = {TableKind::kGeneric, 0};
    try {
        ZDbfFile file(path.c_str(), new ZDbfSchema);
        if (file.OpenTable(1, 0, ZDbfFile::kOpenRead, nullptr, nullptr)) {
            return true;
        }
        reason = "the table engine refuses its header or column descriptors";
    } catch (CException* e) {
        char text[256] = "cannot be opened";
        e->GetErrorMessage(text, sizeof text);
        e->Delete();
        reason = text;
    }
    return false;
}

ZDbfSchema* NewLogSchema(TableKind kind, int nRevision, Layout layout) {
    if (kind == TableKind::kAlarm) {
        const LGA_SCHEMA_VER ver = nRevision == 2 ? LGA_SCHEMA_VER_2 : LGA_SCHEMA_VER_1;
        return layout == Layout::kLegacy ? new LegacyAlarmSchema(ver) : new LgaSchema(ver);
    }
    const LGE_SCHEMA_VER ver = nRevision == 2 ? LGE_SCHEMA_VER_2 : LGE_SCHEMA_VER_1;
    return layout == Layout::kLegacy ? new LegacyEventSchema(ver) : new LgeSchema(ver);
}

std::vector<unsigned> LayoutWidths(TableKind kind, int nRevision, Layout layout) {
    std::unique_ptr<ZDbfSchema> schema(NewLogSchema(kind, nRevision, layout));
    schema->CreateFieldDesc();
    std::vector<unsigned> widths;
    for (int i = 0; i < schema->GetSize(); ++i) {
        const ZDbfField* pField = schema->GetField(i);
        if (pField != nullptr) {
            widths.push_back(pField->GetWidth());
        }
    }
    return widths;
}

const char* MatchLayout(const RawTable& table, const TableIdentity& identity) {
    if (identity.kind == TableKind::kGeneric) {
        return "other";
    }
    std::vector<unsigned> widths;
    for (const RawColumn& c : table.columns) {
        widths.push_back(c.nWidth);
    }
    if (widths == LayoutWidths(identity.kind, identity.nRevision, Layout::kCurrent)) {
        return "current";
    }
    if (widths == LayoutWidths(identity.kind, identity.nRevision, Layout::kLegacy)) {
        return "legacy";
    }
    return "other";
}

bool InspectTable(const std::string& path, RawTable& table, TableIdentity& identity,
                  std::string& reason) {
    if (!ReadRawTable(path, table, reason)) {
        return false;
    }
    reason = table.FatalReason();
    if (!reason.empty()) {
        return false;
    }
    return IdentifyTable(path, identity, reason);
}

void UseDotSeparators(ZDbfSchema& schema) {
    for (int i = 0; i < schema.GetSize(); ++i) {
        ZDbfField* pField = schema.GetField(i);
        if (pField != nullptr && pField->IsKindOf(RUNTIME_CLASS(DbfFloatField))) {
            DbfFloatField* pFloat = static_cast<DbfFloatField*>(pField);
            pFloat->m_szDecimalSep[0] = '.';
            pFloat->m_szDecimalSep[1] = '\0';
        }
    }
}

}  // namespace qvtool
