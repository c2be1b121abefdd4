// read_alarms: prints every row of an alarm log table, reading it the way a host does.
//
// Usage: read_alarms TABLE
// Prints the layout version, then one line per row:
//   YYYY-MM-DD HH:MM:SS  TAG  value=VALUE  severity=N  DESCRIPTION
// Exit status: 0 when the table was read, 1 when it is no alarm log or cannot be opened, 2 on a
// usage error.
#include <Quorvel32.h>

#include <cstdio>

namespace {

void PrintRow(const ALMEVENT& rec) {
    // Members of the packed record are copied out before use, never reached through a pointer.
    const CTime date(static_cast<time_t>(rec.date));
    const double value = rec.tagValue;
    const unsigned severity = rec.severity;
    std::printf("%s %s  %s  value=%g  severity=%u  %s\n", date.Format("%Y-%m-%d").GetString(),
                rec.time, rec.tagName, value, severity, rec.description);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: read_alarms TABLE\n");
        return 2;
    }
    const CString path(argv[1]);

    // The layout revision, from the table's field count (0: not an alarm log).
    const LGA_SCHEMA_VER ver = LgaSchemaVersion(path);
    if (ver == LGA_SCHEMA_VER_NONE) {
        std::fprintf(stderr, "read_alarms: %s: not an alarm log table\n", argv[1]);
        return 1;
    }

    // The reader owns the schema from here on and deletes it.
    LgaDbfFile* reader = new LgaDbfFile(path, new LgaSchema(ver));
    reader->CheckSchemaVer();
    std::printf("alarm log, layout version %d\n", static_cast<int>(reader->GetSchemaVer()));

    // ReadRecord reads through the file the host opens on the reader.
    if (!reader->Open(path, CFile::modeRead | CFile::shareDenyNone)) {
        std::fprintf(stderr, "read_alarms: %s: cannot open\n", argv[1]);
        delete reader;
        return 1;
    }
    ALMEVENT rec{};
    for (LONG n = 0; reader->ReadRecord(n, &rec) != 0; ++n) {
        PrintRow(rec);
    }
    try {
        reader->Close();
    } catch (CException* e) {  // the library throws exceptions by pointer
        e->Delete();
    }
    delete reader;
    return 0;
}
