// quorvel: look into alarm and event log tables (and any dBASE III table) from the shell.
#include <cstdio>
#include <cstring>
#include <new>

#include "CException.h"
#include "Cli.h"
#include "Commands.h"

// Read by LeakSanitizer in sanitizer builds, ignored otherwise. glibc's newlocale, called when a
// float field is built to learn the user's decimal separator, builds a search list from LOCPATH
// with argz_add_sep and never frees it.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:argz_add_sep\n";
}

namespace {

struct Subcommand {
    const char* pszName;
    int (*pfnRun)(int, char**);
    const char* pszSummary;
};

const Subcommand kSubcommands[] = {
    {"info", qvtool::RunInfo, "kind, layout, sizes and columns of tables"},
    {"dump", qvtool::RunDump, "rows as a table, CSV or JSON lines; --follow like tail -f"},
    {"check", qvtool::RunCheck, "integrity report of tables, byte by byte"},
    {"stats", qvtool::RunStats, "counts by severity, type, tag and hour of a log"},
    {"sample", qvtool::RunSample, "write a realistic alarm or event log"},
};

void PrintUsage(FILE* out) {
    std::fputs(
        "Usage: quorvel COMMAND [OPTIONS] FILE...\n"
        "Looks into the alarm and event log tables of the monitoring system, and into any\n"
        "dBASE III table.\n\nCommands:\n",
        out);
    for (const Subcommand& s : kSubcommands) {
        std::fprintf(out, "  %-8s %s\n", s.pszName, s.pszSummary);
    }
    std::fputs(
        "\n'quorvel COMMAND --help' tells more about a command.\n"
        "Exit status: 0 success, 1 a file could not be read or problems were found,\n"
        "2 the command line is wrong.\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return qvtool::kExitUsage;
    }
    const char* pszCommand = argv[1];
    if (std::strcmp(pszCommand, "-h") == 0 || std::strcmp(pszCommand, "--help") == 0 ||
        std::strcmp(pszCommand, "help") == 0) {
        PrintUsage(stdout);
        return qvtool::kExitOk;
    }
    for (const Subcommand& s : kSubcommands) {
        if (std::strcmp(pszCommand, s.pszName) != 0) {
            continue;
        }
        try {
            return s.pfnRun(argc - 1, argv + 1);
        } catch (const qvtool::UsageError& e) {
            std::fprintf(stderr, "quorvel %s: %s\nTry 'quorvel %s --help'.\n", s.pszName, e.what(),
                         s.pszName);
            return qvtool::kExitUsage;
        } catch (CException* e) {
            char text[256] = "unexpected library error";
            e->GetErrorMessage(text, sizeof text);
            e->Delete();
            std::fprintf(stderr, "quorvel %s: %s\n", s.pszName, text);
            return qvtool::kExitFailure;
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "quorvel %s: out of memory\n", s.pszName);
            return qvtool::kExitFailure;
        }
    }
    std::fprintf(stderr, "quorvel: unknown command '%s'\n", pszCommand);
    PrintUsage(stderr);
    return qvtool::kExitUsage;
}
