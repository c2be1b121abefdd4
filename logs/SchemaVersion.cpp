#include "SchemaVersion.h"

#include <memory>
#include <new>

#include "LgaDbfFile.h"
#include "LgeDbfFile.h"

namespace {

template <typename Schema, typename Reader, typename Version, Version kFirstVersion, Version kNone>
Version ProbeVersion(const CString& strPath) {
    if (strPath.GetLength() == 0) {
        return kNone;
    }
    Version result = kNone;
    try {
        // The schema is ours until the reader exists; from then on the reader owns it.
        std::unique_ptr<Schema> schema(new Schema(kFirstVersion));
        std::unique_ptr<Reader> reader(new Reader(strPath, schema.get()));
        schema.release();
        reader->CheckSchemaVer();
        result = reader->GetSchemaVer();
    } catch (CException* e) {
        e->Delete();
        result = kNone;
    } catch (const std::bad_alloc&) {
        result = kNone;
    }
    return result;
}

}  // namespace

LGA_SCHEMA_VER LgaSchemaVersion(CString strPath) {
    return ProbeVersion<LgaSchema, LgaDbfFile, LGA_SCHEMA_VER, LGA_SCHEMA_VER_1,
                        LGA_SCHEMA_VER_NONE>(strPath);
}

LGE_SCHEMA_VER LgeSchemaVersion(CString strPath) {
    return ProbeVersion<LgeSchema, LgeDbfFile, LGE_SCHEMA_VER, LGE_SCHEMA_VER_1,
                        LGE_SCHEMA_VER_NONE>(strPath);
}
