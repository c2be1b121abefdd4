// quorvel_scan: reads every row of an alarm or event log into its host record, the way a host
// does (CheckSchemaVer, Open, ReadRecord until it returns 0), and prints the row count. The
// peer comparison (bench/peers) times it as a whole process, like the other readers.
//
// Usage: quorvel_scan [--event] [--window N] FILE
//   --window 1 (the default) keeps the reader's own one-row window; any other N (-1: the default
//   block of about 64 KiB) opens the table again with a read buffer of N rows, as the quorvel
//   tool does.
#include <Quorvel32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename Reader, typename Schema, typename Record>
int Scan(const char* pszPath, LONG nWindow, Schema* pSchema) {
    std::unique_ptr<Reader> reader(new Reader(pszPath, pSchema));
    reader->CheckSchemaVer();
    if (reader->GetSchemaVer() == 0) {
        std::fprintf(stderr, "quorvel_scan: %s: not a log table of this kind\n", pszPath);
        return 1;
    }
    if (nWindow != 1 && !reader->OpenTable(nWindow, 0, ZDbfFile::kOpenRead, nullptr, nullptr)) {
        std::fprintf(stderr, "quorvel_scan: %s: refused\n", pszPath);
        return 1;
    }
    if (!reader->Open(pszPath, CFile::modeRead | CFile::shareDenyNone)) {
        std::fprintf(stderr, "quorvel_scan: %s: cannot open\n", pszPath);
        return 1;
    }
    Record record;
    LONG n = 0;
    unsigned long long sum = 0;
    while (reader->ReadRecord(n, &record) == 1) {
        sum += static_cast<unsigned long long>(record.date) + record.militime;
        ++n;
    }
    reader->Close();
    std::printf("%ld rows (check %llu)\n", static_cast<long>(n), sum);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool bEvent = false;
    LONG nWindow = 1;
    const char* pszPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--event") == 0) {
            bEvent = true;
        } else if (std::strcmp(argv[i], "--window") == 0 && i + 1 < argc) {
            nWindow = static_cast<LONG>(std::strtol(argv[++i], nullptr, 10));
        } else {
            pszPath = argv[i];
        }
    }
    if (pszPath == nullptr || nWindow == 0) {
        std::fprintf(stderr, "usage: quorvel_scan [--event] [--window N] FILE\n");
        return 2;
    }
    try {
        return bEvent ? Scan<LgeDbfFile, LgeSchema, LOGEVENT2>(pszPath, nWindow,
                                                               new LgeSchema(LGE_SCHEMA_VER_1))
                      : Scan<LgaDbfFile, LgaSchema, ALMEVENT>(pszPath, nWindow,
                                                              new LgaSchema(LGA_SCHEMA_VER_1));
    } catch (CException* e) {
        char szMessage[256] = "";
        e->GetErrorMessage(szMessage, sizeof szMessage);
        e->Delete();
        std::fprintf(stderr, "quorvel_scan: %s: %s\n", pszPath, szMessage);
        return 1;
    }
}
