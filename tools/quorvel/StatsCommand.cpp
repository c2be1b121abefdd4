// quorvel stats: what a log holds, counted: by severity, alarm type, tag and hour (alarms), or
// by type and category (events).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <unordered_map>

#include "Cli.h"
#include "Commands.h"
#include "Output.h"
#include "Progress.h"
#include "RowSource.h"
#include "TableKind.h"

namespace qvtool {

namespace {

const char kHelp[] =
    "Usage: quorvel stats FILE [--kind alarm|event]\n"
    "Counts the rows of a log. Alarm logs: rows per severity and per alarm type, the 10\n"
    "busiest tags, and rows per hour of the day (from the \"Time\" column) as a bar chart.\n"
    "Event logs: rows per type and per category.\n"
    "  --kind K   alarm or event: refuse a log of the other kind\n"
    "When standard error is a terminal, a long count shows its progress there.\n";

constexpr int kBarWidth = 40;
constexpr size_t kBusiestTags = 10;

// Two blanks and the bar, or nothing for no rows.
std::string Bar(long long n, long long nMax) {
    if (nMax <= 0 || n <= 0) {
        return std::string();
    }
    const long long len = std::max(1LL, n * kBarWidth / nMax);
    return "  " + std::string(static_cast<size_t>(len), '#');
}

// Map keys as they print.
std::string KeyText(long long n) {
    return std::to_string(n);
}
std::string KeyText(const std::string& s) {
    return s.empty() ? "(empty)" : s;
}

template <typename Key>
void PrintCounts(const char* pszTitle, const std::map<Key, long long>& counts) {
    std::printf("\n%s\n", pszTitle);
    long long nMax = 0;
    for (const auto& kv : counts) {
        nMax = std::max(nMax, kv.second);
    }
    for (const auto& kv : counts) {
        std::printf("  %-20s %9lld%s\n", DisplayText(KeyText(kv.first)).c_str(), kv.second,
                    Bar(kv.second, nMax).c_str());
    }
}

int ColumnIndex(const RowSource& source, const char* pszName) {
    const std::vector<Column>& columns = source.Columns();
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name == pszName) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The hour of a "HH:MM:SS" text, or -1.
int HourOf(const Cell& cell) {
    const std::string& t = cell.text;
    if (cell.type != Cell::Type::kText || t.size() < 2 || t[0] < '0' || t[0] > '9' || t[1] < '0' ||
        t[1] > '9') {
        return -1;
    }
    const int hour = (t[0] - '0') * 10 + (t[1] - '0');
    return hour < 24 ? hour : -1;
}

}  // namespace

int RunStats(int argc, char** argv) {
    const ArgList args(argc, argv, {"--kind"}, {});
    if (args.WantsHelp()) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (args.Operands().size() != 1) {
        throw UsageError(args.Operands().empty() ? "no log file given"
                                                 : "stats reads one log file");
    }
    const std::string path = args.Operands()[0];
    std::string kind;
    if (args.Has("--kind")) {
        kind = args.Value("--kind");
        RequireChoice(kind, "--kind", {"alarm", "event"});
    }

    RawTable raw;
    TableIdentity identity;
    std::string reason;
    if (!InspectTable(path, raw, identity, reason)) {
        ReportFileError(path, reason);
        return kExitFailure;
    }
    if (identity.kind == TableKind::kGeneric) {
        ReportFileError(path, "is a generic table, not an alarm or event log");
        return kExitFailure;
    }
    if (!kind.empty() && kind != KindWord(identity.kind)) {
        ReportFileError(path, std::string("is ") + KindPhrase(identity.kind) + ", not " +
                                  KindPhrase(KindFromWord(kind)));
        return kExitFailure;
    }
    std::unique_ptr<RowSource> source = RowSource::Open(path, identity, reason);
    if (!source) {
        ReportFileError(path, reason);
        return kExitFailure;
    }

    const bool bAlarm = identity.kind == TableKind::kAlarm;
    const int iFirst = ColumnIndex(*source, bAlarm ? "severity" : "type");
    const int iSecond = ColumnIndex(*source, bAlarm ? "alarmType" : "category");
    const int iTag = ColumnIndex(*source, "tagName");
    const int iTime = ColumnIndex(*source, "time");
    std::map<long long, long long> first;
    std::map<long long, long long> alarmTypes;
    std::map<std::string, long long> categories;
    std::unordered_map<std::string, long long> tags;
    long long hours[25] = {};  // [24]: no readable hour

    long long nRows = 0;
    {
        Progress progress(Progress::StderrIsTerminal(), static_cast<long long>(raw.nRowsPresent));
        Row row;
        while (nRows < INT32_MAX && source->Read(static_cast<long>(nRows), row)) {
            ++nRows;
            progress.Update(nRows);
            ++first[row[static_cast<size_t>(iFirst)].integer];
            const Cell& second = row[static_cast<size_t>(iSecond)];
            if (bAlarm) {
                ++alarmTypes[second.integer];
                ++tags[row[static_cast<size_t>(iTag)].text];
                const int hour = HourOf(row[static_cast<size_t>(iTime)]);
                ++hours[hour < 0 ? 24 : hour];
            } else {
                ++categories[second.text];
            }
        }
    }

    std::printf("%s: %s, layout revision %d, %lld rows\n", DisplayText(path).c_str(),
                KindName(identity.kind), identity.nRevision, nRows);
    if (!bAlarm) {
        PrintCounts("Rows per type", first);
        PrintCounts("Rows per category", categories);
        return kExitOk;
    }
    PrintCounts("Rows per severity", first);
    PrintCounts("Rows per alarm type", alarmTypes);

    std::vector<std::pair<std::string, long long>> busiest(tags.begin(), tags.end());
    std::sort(busiest.begin(), busiest.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    std::printf("\nBusiest tags\n");
    for (size_t i = 0; i < busiest.size() && i < kBusiestTags; ++i) {
        std::printf("  %2zu. %-40s %9lld\n", i + 1, DisplayText(KeyText(busiest[i].first)).c_str(),
                    busiest[i].second);
    }

    std::printf("\nRows per hour of the day\n");
    long long nMax = 0;
    for (long long n : hours) {
        nMax = std::max(nMax, n);
    }
    for (int h = 0; h < 24; ++h) {
        std::printf("  %02d %9lld%s\n", h, hours[h], Bar(hours[h], nMax).c_str());
    }
    if (hours[24] != 0) {
        std::printf("  ?? %9lld%s  (no readable time)\n", hours[24], Bar(hours[24], nMax).c_str());
    }
    return kExitOk;
}

}  // namespace qvtool
