// quorvel dump: the rows of a table, once or following the file as it grows.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>

#include "Cli.h"
#include "Commands.h"
#include "Output.h"
#include "Progress.h"
#include "RowSource.h"
#include "TableHeader.h"
#include "TableKind.h"

namespace qvtool {

namespace {

const char kHelp[] =
    "Usage: quorvel dump FILE [OPTIONS]\n"
    "Prints the rows of a table: an alarm or event log as its records (the ALMEVENT and\n"
    "LOGEVENT2 member names: date, time, militime, transType, tagName, ... and type, id, date,\n"
    "...), any other table by its own columns.\n"
    "\n"
    "Options:\n"
    "  --format F      table (default), csv or jsonl (one JSON object per line)\n"
    "  --from N        start at row N, counted from 0; a negative N starts N rows before\n"
    "                  the end. N equal to the number of rows prints nothing; past that it\n"
    "                  is an error (exit status 1)\n"
    "  --count M       print at most M rows (with --follow too)\n"
    "  --columns a,b   only these columns, in this order\n"
    "  --kind K        alarm, event or generic: refuse a table of another kind\n"
    "  --follow        after the last row, wait for the rows the logging process appends,\n"
    "                  like tail -f; Ctrl-C (SIGINT) or SIGTERM ends it\n"
    "  --interval S    with --follow: seconds between looks at the file (default 0.2)\n"
    "  --timeout S     with --follow: stop after S seconds\n"
    "\n"
    "Rows are the whole rows in the file, whatever the header's record count says; a row\n"
    "marked deleted is shown like any other. Dates are local dates, YYYY-MM-DD; an empty date\n"
    "is empty (null in JSON), and so is a blank number in a generic table. Text loses its\n"
    "trailing blanks. JSON lines keep valid UTF-8 and write every other byte as \\u00XX, its\n"
    "Latin-1 reading. CSV follows RFC 4180 (quoted where needed, CRLF line ends).\n"
    "With --follow a row still being written is printed once it is whole, and a table that\n"
    "shrinks or is replaced is read again from its start, with a note on standard error.\n"
    "When standard error is a terminal and standard output is not, a long dump shows its\n"
    "progress on standard error.\n";

volatile std::sig_atomic_t g_nStopSignal = 0;

extern "C" void OnStopSignal(int nSignal) {
    g_nStopSignal = nSignal;
}

void InstallStopHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a signal cuts the wait short
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

struct DumpOptions {
    Format format = Format::kTable;
    long long nFrom = 0;
    long long nCount = -1;  // -1: no limit
    std::vector<std::string> columns;
    std::string strKind;  // empty: any
    bool bFollow = false;
    double dInterval = 0.2;
    double dTimeout = -1;  // -1: none
};

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return items;
}

// A table opened for rows, with the columns chosen for output.
struct OpenTable {
    RawTable raw;
    TableIdentity identity;
    std::unique_ptr<RowSource> source;
    std::vector<size_t> picks;  // indexes into the source's columns; empty: all of them
    std::vector<Column> columns;
};

// Opens the table; false with a reason. A --columns name the table lacks is a usage error.
bool Open(const std::string& path, const DumpOptions& opt, OpenTable& table, std::string& reason) {
    table = OpenTable();
    if (!InspectTable(path, table.raw, table.identity, reason)) {
        return false;
    }
    if (!opt.strKind.empty() && opt.strKind != KindWord(table.identity.kind)) {
        reason = std::string("is ") + KindPhrase(table.identity.kind) + ", not " +
                 KindPhrase(KindFromWord(opt.strKind));
        return false;
    }
    table.source = RowSource::Open(path, table.identity, reason);
    if (!table.source) {
        return false;
    }
    const std::vector<Column>& all = table.source->Columns();
    if (opt.columns.empty()) {
        table.columns = all;
        return true;
    }
    for (const std::string& name : opt.columns) {
        size_t i = 0;
        while (i < all.size() && all[i].name != name) {
            ++i;
        }
        if (i == all.size()) {
            std::string list;
            for (const Column& c : all) {
                list += (list.empty() ? "" : ", ") + DisplayText(c.name);
            }
            throw UsageError("--columns: the " + std::string(KindName(table.identity.kind)) +
                             " has no column '" + DisplayText(name) + "'; it has " + list);
        }
        table.picks.push_back(i);
        table.columns.push_back(all[i]);
    }
    return true;
}

class RowPrinter {
  public:
    RowPrinter(RowWriter& writer, const OpenTable& table) : m_writer(writer), m_table(table) {}

    // Reads row nRow and prints it; false when the row is not there (yet).
    bool Print(long nRow) {
        if (!m_table.source->Read(nRow, m_full)) {
            return false;
        }
        if (m_table.picks.empty()) {
            m_writer.Write(m_full);
            return true;
        }
        m_picked.resize(m_table.picks.size());
        for (size_t i = 0; i < m_table.picks.size(); ++i) {
            m_picked[i] = m_full[m_table.picks[i]];
        }
        m_writer.Write(m_picked);
        return true;
    }

  private:
    RowWriter& m_writer;
    const OpenTable& m_table;
    Row m_full;
    Row m_picked;
};

// Sleeps; a stop signal ends the sleep early.
void Pause(double dSeconds) {
    if (dSeconds <= 0) {
        return;
    }
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(dSeconds);
    ts.tv_nsec = static_cast<long>((dSeconds - static_cast<double>(ts.tv_sec)) * 1e9);
    nanosleep(&ts, nullptr);
}

int FinishOutput() {
    std::fflush(stdout);
    if (std::ferror(stdout)) {
        ReportNote("cannot write the output");
        return kExitFailure;
    }
    return kExitOk;
}

int DumpOnce(OpenTable& table, RowWriter& writer, long nFirst, const DumpOptions& opt) {
    const long long nAvailable = static_cast<long long>(table.raw.nRowsPresent) - nFirst;
    long long nTotal = opt.nCount < 0 ? nAvailable : std::min(opt.nCount, nAvailable);
    Progress progress(Progress::StderrIsTerminal() && ::isatty(STDOUT_FILENO) != 1, nTotal);
    RowPrinter printer(writer, table);
    long long nPrinted = 0;
    long nRow = nFirst;
    while ((opt.nCount < 0 || nPrinted < opt.nCount) && nRow < INT32_MAX && printer.Print(nRow)) {
        ++nRow;
        ++nPrinted;
        progress.Update(nPrinted);
    }
    writer.Flush();
    return FinishOutput();
}

int Follow(const std::string& path, OpenTable& table, RowWriter& writer, long nFirst,
           const DumpOptions& opt) {
    InstallStopHandlers();
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&start]() {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    long nRow = nFirst;
    long long nPrinted = 0;
    std::string strWaitingFor;  // the last note given while the table cannot be read
    for (;;) {
        if (table.source) {
            RowPrinter printer(writer, table);
            while ((opt.nCount < 0 || nPrinted < opt.nCount) && g_nStopSignal == 0 &&
                   nRow < INT32_MAX && printer.Print(nRow)) {
                ++nRow;
                ++nPrinted;
            }
        }
        writer.Flush();
        if ((opt.nCount >= 0 && nPrinted >= opt.nCount) || g_nStopSignal != 0 ||
            (opt.dTimeout >= 0 && elapsed() >= opt.dTimeout)) {
            break;
        }
        double dWait = opt.dInterval;
        if (opt.dTimeout >= 0) {
            dWait = std::min(dWait, opt.dTimeout - elapsed());
        }
        Pause(dWait);
        if (g_nStopSignal != 0) {
            break;
        }

        // Has the table been replaced, or has it shrunk under the rows already printed?
        struct stat atPath;
        if (::stat(path.c_str(), &atPath) != 0) {
            if (strWaitingFor != "gone") {
                ReportFileError(path, "is gone; waiting for it to come back");
                strWaitingFor = "gone";
            }
            table.source.reset();
            continue;
        }
        std::string what;
        if (!table.source) {
            what = "reading the table from its start";
        } else {
            struct stat open;
            if (::fstat(table.source->FileDescriptor(), &open) != 0 ||
                open.st_ino != atPath.st_ino || open.st_dev != atPath.st_dev) {
                what = "was replaced; reading the new table from its start";
            } else if (static_cast<unsigned long long>(open.st_size) <
                       table.raw.nHeaderLength +
                           static_cast<unsigned long long>(nRow) * table.raw.nRecordLength) {
                what = "shrank; reading it again from its start";
            }
        }
        if (what.empty()) {
            continue;
        }
        std::string reason;
        table.source.reset();
        bool bOpened = false;
        try {
            bOpened = Open(path, opt, table, reason);
        } catch (const UsageError& e) {
            // The new table lacks a column --columns names: following it makes no sense.
            writer.Flush();
            ReportFileError(path, std::string("changed, and now ") + e.what());
            return kExitFailure;
        }
        if (!bOpened) {
            table.source.reset();
            if (strWaitingFor != reason) {
                ReportFileError(path, reason + "; waiting");
                strWaitingFor = reason;
            }
            continue;
        }
        ReportFileError(path, what);
        strWaitingFor.clear();
        writer.Begin(table.columns);
        nRow = 0;
    }
    return FinishOutput();
}

}  // namespace

int RunDump(int argc, char** argv) {
    const ArgList args(
        argc, argv,
        {"--format", "--from", "--count", "--columns", "--kind", "--interval", "--timeout"},
        {"--follow"});
    if (args.WantsHelp()) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (args.Operands().size() != 1) {
        throw UsageError(args.Operands().empty() ? "no table file given"
                                                 : "dump reads one table file");
    }
    const std::string path = args.Operands()[0];
    DumpOptions opt;
    const std::string format = args.Value("--format", "table");
    RequireChoice(format, "--format", {"table", "csv", "jsonl"});
    opt.format = format == "csv"     ? Format::kCsv
                 : format == "jsonl" ? Format::kJsonl
                                     : Format::kTable;
    if (args.Has("--from")) {
        opt.nFrom = ParseInteger(args.Value("--from"), "--from", -INT32_MAX, INT32_MAX);
    }
    if (args.Has("--count")) {
        opt.nCount = ParseInteger(args.Value("--count"), "--count", 0, INT64_MAX);
    }
    if (args.Has("--columns")) {
        opt.columns = SplitList(args.Value("--columns"));
    }
    if (args.Has("--kind")) {
        opt.strKind = args.Value("--kind");
        RequireChoice(opt.strKind, "--kind", {"alarm", "event", "generic"});
    }
    opt.bFollow = args.Has("--follow");
    if (!opt.bFollow && (args.Has("--interval") || args.Has("--timeout"))) {
        throw UsageError("--interval and --timeout go with --follow");
    }
    if (args.Has("--interval")) {
        opt.dInterval = ParseSeconds(args.Value("--interval"), "--interval", 0.001, 3600);
    }
    if (args.Has("--timeout")) {
        opt.dTimeout = ParseSeconds(args.Value("--timeout"), "--timeout", 0, 1e9);
    }

    OpenTable table;
    std::string reason;
    if (!Open(path, opt, table, reason)) {
        ReportFileError(path, reason);
        return kExitFailure;
    }
    const long long nRows = static_cast<long long>(table.raw.nRowsPresent);
    long long nFirst = opt.nFrom;
    if (nFirst < 0) {
        nFirst = std::max(0LL, nRows + nFirst);
    } else if (nFirst > nRows) {
        ReportFileError(path, "--from " + std::to_string(nFirst) +
                                  " is past the end: the table has " + std::to_string(nRows) +
                                  " whole rows");
        return kExitFailure;
    }

    static char outBuffer[1 << 16];
    if (::isatty(STDOUT_FILENO) != 1) {
        std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    }
    std::unique_ptr<RowWriter> writer = RowWriter::Create(opt.format, stdout);
    writer->Begin(table.columns);
    if (opt.bFollow) {
        return Follow(path, table, *writer, static_cast<long>(nFirst), opt);
    }
    return DumpOnce(table, *writer, static_cast<long>(nFirst), opt);
}

}  // namespace qvtool
