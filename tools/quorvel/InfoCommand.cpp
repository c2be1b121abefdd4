// quorvel info: what a table file is and how it is laid out.
#include <cstdio>

#include "Cli.h"
#include "Commands.h"
#include "Output.h"
#include "TableHeader.h"
#include "TableKind.h"

namespace qvtool {

namespace {

const char kHelp[] =
    "Usage: quorvel info FILE...\n"
    "Tells for each table: its kind (alarm log, event log or generic table), the layout\n"
    "revision of a log, whose column widths it has (the current build's, the legacy build's,\n"
    "or other), the record count of its header, the whole rows actually in the file, header\n"
    "and record length, the date of the last update, and its columns.\n"
    "A file that is not a readable table gets a one-line reason on standard error; the other\n"
    "files are still reported. Exit status 1 when any file could not be reported.\n";

void PrintInfo(const std::string& path, const RawTable& t, const TableIdentity& id) {
    std::printf("%s\n", DisplayText(path).c_str());
    if (id.kind == TableKind::kGeneric) {
        std::printf("  kind           %s\n", KindName(id.kind));
        std::printf("  widths         -\n");
    } else {
        std::printf("  kind           %s, layout revision %d\n", KindName(id.kind), id.nRevision);
        const std::string match = MatchLayout(t, id);
        std::printf("  widths         %s\n", match == "other" ? "other (neither build's layout)"
                                                              : (match + " build").c_str());
    }
    std::printf("  records        %lld in the header, %llu whole rows in the file", t.nRecordCount,
                t.nRowsPresent);
    if (t.nTailBytes > 1) {
        std::printf(", %llu more bytes after them", t.nTailBytes);
    }
    std::printf("\n  header length  %u bytes\n", t.nHeaderLength);
    std::printf("  record length  %u bytes\n", t.nRecordLength);
    std::printf("  last update    %04d-%02d-%02d\n", t.nYear, t.nMonth, t.nDay);
    std::printf("  columns        %zu\n", t.columns.size());
    std::printf("     #  %-10s  type  width  decimals\n", "name");
    for (size_t i = 0; i < t.columns.size(); ++i) {
        const RawColumn& c = t.columns[i];
        std::printf("  %4zu  %-10s  %c     %5u  %8u\n", i + 1, DisplayText(c.name).c_str(),
                    c.chType, c.nWidth, c.nDecimals);
    }
}

}  // namespace

int RunInfo(int argc, char** argv) {
    const ArgList args(argc, argv, {}, {});
    if (args.WantsHelp()) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (args.Operands().empty()) {
        throw UsageError("no table file given");
    }
    int rc = kExitOk;
    bool bFirst = true;
    for (const std::string& path : args.Operands()) {
        RawTable table;
        TableIdentity identity;
        std::string reason;
        if (!InspectTable(path, table, identity, reason)) {
            std::fflush(stdout);
            ReportFileError(path, reason);
            rc = kExitFailure;
            continue;
        }
        if (!bFirst) {
            std::printf("\n");
        }
        bFirst = false;
        PrintInfo(path, table, identity);
    }
    return rc;
}

}  // namespace qvtool
