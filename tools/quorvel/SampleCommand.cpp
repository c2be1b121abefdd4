// quorvel sample: writes a realistic alarm or event log through the library, for trying the
// other commands, tests and benchmarks. The same seed gives the same table (in the same time
// zone: dates are local).
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "Cli.h"
#include "Commands.h"
#include "LogRecords.h"
#include "Random.h"
#include "TableKind.h"
#include "ZDbfFile.h"

namespace qvtool {

namespace {

const char kHelp[] =
    "Usage: quorvel sample --kind alarm|event --version 1|2 --rows N [OPTIONS] OUT\n"
    "Writes a new log table OUT with N made-up but realistic rows, through the library's own\n"
    "schemas and table engine: tags such as BOILER1.DRUM.PRESS with values and HI/HIHI/LO/LOLO\n"
    "thresholds, severities 1-5, alarm types, operators, stations and descriptions (alarms), or\n"
    "system, operator, security, configuration and communication events, spread over days.\n"
    "\n"
    "Options:\n"
    "  --kind K        alarm or event\n"
    "  --version V     layout revision 1 or 2\n"
    "  --rows N        number of rows\n"
    "  --seed S        seed of the generator (default 1): the same seed, the same table\n"
    "  --layout L      current (default) or legacy: the legacy build's narrower text columns\n"
    "  --force         replace OUT when it exists\n";

struct Tag {
    const char* pszName;
    const char* pszText;
    const char* pszUnit;  // null: a digital tag
    double dLow;          // normal range
    double dHigh;
};

const Tag kTags[] = {
    {"BOILER1.DRUM.PRESS", "Boiler 1 drum pressure", "bar", 60, 140},
    {"BOILER1.DRUM.LEVEL", "Boiler 1 drum level", "%", 20, 80},
    {"BOILER1.BURNER3.FLAME", "Boiler 1 burner 3 flame failure", nullptr, 0, 1},
    {"BOILER2.FURNACE.TEMP", "Boiler 2 furnace temperature", "degC", 800, 1200},
    {"BOILER2.FGAS.O2", "Boiler 2 flue gas oxygen", "%", 2, 6},
    {"TURBINE1.SPEED", "Turbine 1 speed", "rpm", 2950, 3050},
    {"TURBINE1.BEARING2.VIB", "Turbine 1 bearing 2 vibration", "mm/s", 0, 7},
    {"TURBINE1.LUBE.OIL.TEMP", "Turbine 1 lube oil temperature", "degC", 40, 60},
    {"FEEDWATER.PUMP1.FLOW", "Feedwater pump 1 flow", "t/h", 150, 400},
    {"FEEDWATER.PUMP1.TRIP", "Feedwater pump 1 tripped", nullptr, 0, 1},
    {"FEEDWATER.PUMP2.MOTOR.CURRENT", "Feedwater pump 2 motor current", "A", 60, 180},
    {"CONDENSER.VACUUM", "Condenser vacuum", "mbar", 40, 90},
    {"COOLTOWER.BASIN.TEMP", "Cooling tower basin temperature", "degC", 15, 32},
    {"COMPRESSOR3.DISCHARGE.PRESS", "Compressor 3 discharge pressure", "bar", 6, 10},
    {"SUBSTATION.TX1.OIL.TEMP", "Transformer 1 oil temperature", "degC", 30, 85},
    {"SUBSTATION.BUS2.VOLTAGE", "Bus 2 voltage", "kV", 10.5, 11.5},
    {"STACK.NOX", "Stack NOx emission", "mg/Nm3", 0, 150},
    {"WATERTREAT.TANK4.PH", "Water treatment tank 4 pH", "pH", 6.5, 8.5},
};

// Weighted towards the few tags that misbehave most, as in any plant.
const int kTagWeights[] = {9, 6, 2, 5, 3, 2, 7, 2, 4, 1, 3, 3, 4, 5, 2, 1, 6, 2};
static_assert(sizeof kTagWeights / sizeof kTagWeights[0] == sizeof kTags / sizeof kTags[0],
              "one weight per tag");

const char* const kThreshLabels[] = {"", "HIHI", "HI", "LO", "LOLO"};

struct Operator {
    const char* pszShort;  // fits "UserId"/"User" of revision 1 (8)
    const char* pszLong;   // fits revision 2 (20)
};
const Operator kOperators[] = {
    {"jsmith", "john.smith"},      {"mgarcia", "maria.garcia"},  {"tnguyen", "thanh.nguyen"},
    {"akowalsk", "anna.kowalska"}, {"pdubois", "pierre.dubois"}, {"shift3", "shift3.lead"},
};
const char* const kOperatorStations[] = {"OPSTN01", "OPSTN02", "OPSTN03", "ENGSTN1", "CTRLROOM-A"};
const char* const kLoggingStations[] = {"SCADA-SRV1", "SCADA-SRV2"};

// Row times: from 1 March 2024, local time, forward in random steps.
class Clock {
  public:
    Clock(Random& random, long long nRows) : m_random(random) {
        // Two days at least, a month at most, about a minute per row in between.
        const long long span = std::min(30LL * 86400, std::max(2LL * 86400, nRows * 60));
        m_nMeanStep = nRows > 0 ? std::max(1LL, span / nRows) : 1;
    }

    // The day shift (06:00-18:00), when units start, stop and change load, alarms twice as
    // often as the night.
    void Advance() {
        const long long sod = m_nOffset % 86400;
        const long long mean = (sod >= 6 * 3600 && sod < 18 * 3600)
                                   ? std::max(1LL, m_nMeanStep * 2 / 3)
                                   : m_nMeanStep * 4 / 3;
        m_nOffset += static_cast<long long>(m_random.Below(static_cast<uint64_t>(2 * mean + 1)));
    }

    // Local midnight of the row's day, as stored in "Date".
    TIME32 Date() {
        Local(0);
        return static_cast<TIME32>(m_tMidnight);
    }
    // "HH:MM:SS"
    void Time(char (&text)[9]) {
        const unsigned sod = static_cast<unsigned>(m_nOffset % 86400);
        const unsigned parts[] = {sod / 3600, sod / 60 % 60, sod % 60};
        for (int k = 0; k < 3; ++k) {
            text[3 * k] = static_cast<char>('0' + parts[k] / 10);
            text[3 * k + 1] = static_cast<char>('0' + parts[k] % 10);
            if (k < 2) {
                text[3 * k + 2] = ':';
            }
        }
        text[8] = '\0';
    }
    char DstFlag() { return Local(m_nOffset % 86400) > 0 ? 'Y' : 'N'; }

  private:
    // Normalises 1 March 2024 + day + seconds into local time; returns tm_isdst.
    int Local(long long nSecondsOfDay) {
        struct tm t = {};
        t.tm_year = 124;
        t.tm_mon = 2;
        t.tm_mday = 1 + static_cast<int>(m_nOffset / 86400);
        t.tm_sec = static_cast<int>(nSecondsOfDay);
        t.tm_isdst = -1;
        const time_t value = mktime(&t);
        if (nSecondsOfDay == 0) {
            m_tMidnight = value;
        }
        return t.tm_isdst;
    }

    Random& m_random;
    long long m_nMeanStep;
    long long m_nOffset = 0;
    time_t m_tMidnight = 0;
};

void CopyText(char* dst, size_t size, const char* src) {
    std::snprintf(dst, size, "%s", src);
}

double Round3(double v) {
    return std::round(v * 1000.0) / 1000.0;
}

const Tag& PickTag(Random& random) {
    int total = 0;
    for (int w : kTagWeights) {
        total += w;
    }
    int n = static_cast<int>(random.Below(static_cast<uint64_t>(total)));
    for (size_t i = 0; i < sizeof kTags / sizeof kTags[0]; ++i) {
        n -= kTagWeights[i];
        if (n < 0) {
            return kTags[i];
        }
    }
    return kTags[0];
}

void MakeAlarm(Random& random, Clock& clock, int nRevision, ALMEVENT& r) {
    std::memset(&r, 0, sizeof r);
    const Tag& tag = PickTag(random);
    const bool bDigital = tag.pszUnit == nullptr;
    const uint64_t transRoll = random.Below(100);
    const char* pszTrans = transRoll < 45 ? "ALM" : transRoll < 75 ? "ACK" : "RTN";
    const Operator& op = random.Pick(kOperators);

    r.date = clock.Date();
    clock.Time(r.time);
    r.militime = static_cast<WORD>(random.Below(1000));
    CopyText(r.transType, sizeof r.transType, pszTrans);
    CopyText(r.tagName, sizeof r.tagName, tag.pszName);
    r.tagType = bDigital ? 'D' : 'A';
    r.dstFlag = clock.DstFlag();
    const char* pszUser =
        std::strcmp(pszTrans, "ACK") == 0 ? (nRevision == 2 ? op.pszLong : op.pszShort) : "";
    CopyText(r.userId, sizeof r.userId, pszUser);

    char text[160];
    if (bDigital) {
        r.tagValue = std::strcmp(pszTrans, "RTN") == 0 ? 0.0 : 1.0;
        r.threshVal = 1.0;
        r.threshNum = 1;
        CopyText(r.threshLabel, sizeof r.threshLabel, "ON");
        r.severity = static_cast<WORD>(3 + random.Below(3));
        r.alarmType = 4;  // digital state
        std::snprintf(text, sizeof text, "%s%s", tag.pszText,
                      std::strcmp(pszTrans, "RTN") == 0   ? " - cleared"
                      : std::strcmp(pszTrans, "ACK") == 0 ? " - acknowledged"
                                                          : "");
    } else {
        const double span = tag.dHigh - tag.dLow;
        // A quantity that cannot go below zero (vibration, emissions) has no low limits.
        const bool bHighOnly = tag.dLow >= 0 && tag.dLow - 0.15 * span < 0;
        const int nThresh = 1 + static_cast<int>(random.Below(bHighOnly ? 2 : 4));
        const double limits[] = {0, tag.dHigh + 0.15 * span, tag.dHigh, tag.dLow,
                                 tag.dLow - 0.15 * span};
        r.threshNum = static_cast<WORD>(nThresh);
        r.threshVal = Round3(limits[nThresh]);
        CopyText(r.threshLabel, sizeof r.threshLabel, kThreshLabels[nThresh]);
        const bool bHigh = nThresh <= 2;
        const double beyond = 0.12 * span * random.Unit();
        double value = bHigh ? r.threshVal + beyond : r.threshVal - beyond;
        if (std::strcmp(pszTrans, "RTN") == 0) {
            value = tag.dLow + span * (0.3 + 0.4 * random.Unit());
        }
        r.tagValue = Round3(value);
        const bool bOuter = nThresh == 1 || nThresh == 4;
        r.severity = static_cast<WORD>(bOuter ? 4 + random.Below(2) : 1 + random.Below(3));
        const uint64_t typeRoll = random.Below(10);
        r.alarmType = static_cast<WORD>(typeRoll < 7   ? 1
                                        : typeRoll < 9 ? 2
                                                       : 3);  // limit,
                                                              // rate, dev.
        const double tagValue = r.tagValue;
        if (std::strcmp(pszTrans, "RTN") == 0) {
            std::snprintf(text, sizeof text, "%s back to normal (%.3f %s)", tag.pszText, tagValue,
                          tag.pszUnit);
        } else {
            std::snprintf(text, sizeof text, "%s %s%s (%.3f %s)", tag.pszText,
                          r.alarmType == 2 ? "rising fast " : "", kThreshLabels[nThresh], tagValue,
                          tag.pszUnit);
        }
    }
    CopyText(r.description, sizeof r.description, text);
    CopyText(r.userStn, sizeof r.userStn, pszUser[0] != '\0' ? random.Pick(kOperatorStations) : "");
    CopyText(r.loggingStn, sizeof r.loggingStn, random.Pick(kLoggingStations));
}

struct EventType {
    WORD nType;
    const char* pszCategory;
};
const EventType kEventTypes[] = {
    {1, "System"}, {2, "Operator"}, {3, "Security"}, {4, "Configuration"}, {5, "Communication"},
};
const int kEventWeights[] = {3, 6, 2, 1, 2};
const char* const kSources[] = {"SCADA-SRV1",  "SCADA-SRV2",   "HIST-SRV",      "HMI-OPSTN01",
                                "PLC-BOILER1", "PLC-TURBINE1", "RTU-SUBSTATION"};

void MakeEvent(Random& random, Clock& clock, int nRevision, LONG nId, LOGEVENT2& r) {
    std::memset(&r, 0, sizeof r);
    int n = static_cast<int>(random.Below(14));
    size_t k = 0;
    while (n >= kEventWeights[k]) {
        n -= kEventWeights[k++];
    }
    const EventType& type = kEventTypes[k];
    const Operator& op = random.Pick(kOperators);
    const char* pszUser = nRevision == 2 ? op.pszLong : op.pszShort;
    const char* pszStation = random.Pick(kOperatorStations);
    const Tag& tag = kTags[random.Below(sizeof kTags / sizeof kTags[0])];

    r.type = type.nType;
    r.id = nId;
    r.date = clock.Date();
    clock.Time(r.time);
    r.militime = static_cast<WORD>(random.Below(1000));
    r.dstFlag = clock.DstFlag();
    CopyText(r.category, sizeof r.category, type.pszCategory);

    char text[160];
    const char* pszSource = "SCADA-SRV1";
    const char* pszEventUser = "SYSTEM";
    switch (type.nType) {
        case 1: {
            static const char* const kSystem[] = {
                "Historian archive switched to new volume", "Alarm server started",
                "Redundant server took over as primary", "Time synchronised with GPS clock",
                "Disk space on historian below 15 %"};
            pszSource = random.Pick(kSources);
            CopyText(text, sizeof text, random.Pick(kSystem));
            break;
        }
        case 2: {
            pszSource = "HMI-OPSTN01";
            pszEventUser = pszUser;
            if (random.Below(2) == 0 && tag.pszUnit != nullptr) {
                const double from = Round3(tag.dLow + (tag.dHigh - tag.dLow) * random.Unit());
                const double to = Round3(from * (0.95 + 0.1 * random.Unit()));
                std::snprintf(text, sizeof text, "Setpoint %s changed from %.3f to %.3f %s",
                              tag.pszName, from, to, tag.pszUnit);
            } else {
                std::snprintf(text, sizeof text, "Operator %s logged on at %s", pszUser,
                              pszStation);
            }
            break;
        }
        case 3:
            pszSource = "SCADA-SRV1";
            pszEventUser = pszUser;
            std::snprintf(text, sizeof text, "Failed logon for user %s at %s", pszUser, pszStation);
            break;
        case 4:
            pszSource = random.Pick(kSources);
            pszEventUser = pszUser;
            std::snprintf(text, sizeof text, "Configuration download to %s completed", pszSource);
            break;
        default:
            pszSource = random.Pick(kSources);
            std::snprintf(text, sizeof text, "Communication %s with %s",
                          random.Below(2) == 0 ? "lost" : "restored", pszSource);
            break;
    }
    CopyText(r.source, sizeof r.source, pszSource);
    CopyText(r.user, sizeof r.user, pszEventUser);
    CopyText(r.description, sizeof r.description, text);
    CopyText(r.userStn, sizeof r.userStn, pszStation);
    CopyText(r.loggingStn, sizeof r.loggingStn, random.Pick(kLoggingStations));
}

}  // namespace

int RunSample(int argc, char** argv) {
    const ArgList args(argc, argv, {"--kind", "--version", "--rows", "--seed", "--layout"},
                       {"--force"});
    if (args.WantsHelp()) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    for (const char* required : {"--kind", "--version", "--rows"}) {
        if (!args.Has(required)) {
            throw UsageError(std::string(required) + " is required");
        }
    }
    if (args.Operands().size() != 1) {
        throw UsageError(args.Operands().empty() ? "no output file given"
                                                 : "sample writes one table file");
    }
    const std::string kind = args.Value("--kind");
    RequireChoice(kind, "--kind", {"alarm", "event"});
    const int nRevision =
        static_cast<int>(ParseInteger(args.Value("--version"), "--version", 1, 2));
    const long long nRows = ParseInteger(args.Value("--rows"), "--rows", 0, INT32_MAX);
    const long long nSeed =
        args.Has("--seed") ? ParseInteger(args.Value("--seed"), "--seed", 0, INT64_MAX) : 1;
    const std::string layout = args.Value("--layout", "current");
    RequireChoice(layout, "--layout", {"current", "legacy"});
    const std::string path = args.Operands()[0];

    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !args.Has("--force")) {
        ReportFileError(path, "exists already; --force replaces it");
        return kExitFailure;
    }

    const TableKind tableKind = kind == "alarm" ? TableKind::kAlarm : TableKind::kEvent;
    ZDbfFile file(path.c_str(),
                  NewLogSchema(tableKind, nRevision,
                               layout == "legacy" ? Layout::kLegacy : Layout::kCurrent));
    try {
        if (!file.CreateTable(0, -1, CFile::modeCreate | CFile::modeReadWrite | CFile::typeBinary,
                              nullptr, nullptr)) {
            ReportFileError(path, "the table engine cannot create this layout");
            return kExitFailure;
        }
        UseDotSeparators(*file.GetSchema());
        Random random(static_cast<uint64_t>(nSeed));
        Clock clock(random, nRows);
        ALMEVENT alarm;
        LOGEVENT2 event;
        for (long long i = 0; i < nRows; ++i) {
            clock.Advance();
            void* pRecord;
            if (tableKind == TableKind::kAlarm) {
                MakeAlarm(random, clock, nRevision, alarm);
                pRecord = &alarm;
            } else {
                MakeEvent(random, clock, nRevision, static_cast<LONG>(100000 + i), event);
                pRecord = &event;
            }
            if (file.IsWriteBufferFull()) {
                file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
            }
            if (!file.AppendRecord(pRecord)) {
                ReportFileError(path, "the table engine refused a row");
                return kExitFailure;
            }
        }
        file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
    } catch (CFileException* e) {
        char text[256] = "cannot be written";
        e->GetErrorMessage(text, sizeof text);
        e->Delete();
        ReportFileError(path, text);
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace qvtool
