#include "BenchTables.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace qvbench {

namespace {

struct Tag {
    const char* pszName;
    const char* pszText;
    const char* pszUnit;
    double dLow;
    double dHigh;
};

const Tag kTags[] = {
    {"BOILER1.DRUM.PRESS", "Boiler 1 drum pressure", "bar", 60, 140},
    {"BOILER1.DRUM.LEVEL", "Boiler 1 drum level", "%", 20, 80},
    {"BOILER2.FURNACE.TEMP", "Boiler 2 furnace temperature", "degC", 800, 1200},
    {"TURBINE1.SPEED", "Turbine 1 speed", "rpm", 2950, 3050},
    {"TURBINE1.BEARING2.VIB", "Turbine 1 bearing 2 vibration", "mm/s", 0, 7},
    {"FEEDWATER.PUMP1.FLOW", "Feedwater pump 1 flow", "t/h", 150, 400},
    {"FEEDWATER.PUMP2.MOTOR.CURRENT", "Feedwater pump 2 motor current", "A", 60, 180},
    {"CONDENSER.VACUUM", "Condenser vacuum", "mbar", 40, 90},
    {"SUBSTATION.TX1.OIL.TEMP", "Transformer 1 oil temperature", "degC", 30, 85},
    {"STACK.NOX", "Stack NOx emission", "mg/Nm3", 0, 150},
};
const char* const kLabels[] = {"HIHI", "HI", "LO", "LOLO"};
const char* const kTrans[] = {"ALM", "ACK", "RTN"};
const char* const kUsers[] = {"john.smith", "maria.garcia", "thanh.nguyen", "shift3.lead"};
const char* const kStations[] = {"OPSTN01", "OPSTN02", "ENGSTN1", "CTRLROOM-A"};
const char* const kLoggers[] = {"SCADA-SRV1", "SCADA-SRV2"};
const char* const kCategories[] = {"System", "Operator", "Security", "Configuration"};
const char* const kSources[] = {"SCADA-SRV1", "HIST-SRV", "HMI-OPSTN01", "PLC-BOILER1"};

template <size_t N>
const char* Pick(Random& random, const char* const (&items)[N]) {
    return items[random.Below(N)];
}

void Copy(char* dst, size_t size, const char* src) {
    std::snprintf(dst, size, "%s", src);
}

// "HH:MM:SS" of a second of the day.
void TimeText(long long sod, char (&text)[9]) {
    const unsigned parts[] = {static_cast<unsigned>(sod / 3600 % 24),
                              static_cast<unsigned>(sod / 60 % 60),
                              static_cast<unsigned>(sod % 60)};
    for (int k = 0; k < 3; ++k) {
        text[3 * k] = static_cast<char>('0' + parts[k] / 10);
        text[3 * k + 1] = static_cast<char>('0' + parts[k] % 10);
        text[3 * k + 2] = k < 2 ? ':' : '\0';
    }
}

double Round3(double v) {
    return std::round(v * 1000.0) / 1000.0;
}

std::string CacheDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") +
                      "/quorvel-bench-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    return dir;
}

}  // namespace

RowMaker::RowMaker(uint64_t seed) : m_random(seed) {}

void RowMaker::Advance() {
    m_nOffset += 1 + static_cast<long long>(m_random.Below(25));
    const long long day = m_nOffset / 86400;
    if (day != m_nDay) {
        m_nDay = day;
        m_tMidnight =
            static_cast<TIME32>(CTime(2024, 3, 1 + static_cast<int>(day), 0, 0, 0).GetTime());
    }
}

void RowMaker::Alarm(ALMEVENT& r) {
    Advance();
    std::memset(&r, 0, sizeof r);
    const Tag& tag = kTags[m_random.Below(sizeof kTags / sizeof kTags[0])];
    const long long sod = m_nOffset % 86400;
    r.date = m_tMidnight;
    TimeText(sod, r.time);
    r.militime = static_cast<WORD>(m_random.Below(1000));
    const char* pszTrans = Pick(m_random, kTrans);
    Copy(r.transType, sizeof r.transType, pszTrans);
    Copy(r.tagName, sizeof r.tagName, tag.pszName);
    const int nThresh = static_cast<int>(m_random.Below(4));
    const double span = tag.dHigh - tag.dLow;
    r.threshVal = Round3(nThresh < 2 ? tag.dHigh + (1 - nThresh) * 0.15 * span
                                     : tag.dLow - (nThresh - 2) * 0.15 * span);
    r.tagValue = Round3(r.threshVal + (nThresh < 2 ? 1 : -1) * 0.1 * span * m_random.Unit());
    r.tagType = 'A';
    r.threshNum = static_cast<WORD>(nThresh + 1);
    Copy(r.threshLabel, sizeof r.threshLabel, kLabels[nThresh]);
    r.severity = static_cast<WORD>(1 + m_random.Below(5));
    r.dstFlag = 'N';
    const bool bAck = pszTrans[1] == 'C';
    Copy(r.userId, sizeof r.userId, bAck ? Pick(m_random, kUsers) : "");
    r.alarmType = static_cast<WORD>(1 + m_random.Below(3));
    std::snprintf(r.description, sizeof r.description, "%s %s (%.3f %s)", tag.pszText,
                  kLabels[nThresh], double{r.tagValue}, tag.pszUnit);
    Copy(r.userStn, sizeof r.userStn, bAck ? Pick(m_random, kStations) : "");
    Copy(r.loggingStn, sizeof r.loggingStn, Pick(m_random, kLoggers));
}

void RowMaker::Event(LOGEVENT2& r) {
    Advance();
    std::memset(&r, 0, sizeof r);
    const long long sod = m_nOffset % 86400;
    r.type = static_cast<WORD>(1 + m_random.Below(4));
    r.id = m_nEventId++;
    r.date = m_tMidnight;
    TimeText(sod, r.time);
    r.militime = static_cast<WORD>(m_random.Below(1000));
    r.dstFlag = 'N';
    Copy(r.category, sizeof r.category, kCategories[r.type - 1]);
    const char* pszSource = Pick(m_random, kSources);
    Copy(r.source, sizeof r.source, pszSource);
    const char* pszUser = Pick(m_random, kUsers);
    Copy(r.user, sizeof r.user, pszUser);
    std::snprintf(r.description, sizeof r.description, "Operator %s logged on at %s", pszUser,
                  Pick(m_random, kStations));
    Copy(r.userStn, sizeof r.userStn, Pick(m_random, kStations));
    Copy(r.loggingStn, sizeof r.loggingStn, Pick(m_random, kLoggers));
}

bool WriteTable(const std::string& path, TableKind kind, LONG nRows, LONG nWriteRecs,
                uint64_t seed) {
    ZDbfSchema* pSchema = kind == TableKind::kAlarm
                              ? static_cast<ZDbfSchema*>(new LgaSchema(LGA_SCHEMA_VER_2))
                              : static_cast<ZDbfSchema*>(new LgeSchema(LGE_SCHEMA_VER_2));
    ZDbfFile file(path.c_str(), pSchema);
    try {
        if (!file.CreateTable(0, nWriteRecs, CFile::modeCreate | CFile::modeReadWrite, nullptr,
                              nullptr)) {
            return false;
        }
        RowMaker maker(seed);
        ALMEVENT alarm;
        LOGEVENT2 event;
        for (LONG i = 0; i < nRows; ++i) {
            void* pRecord;
            if (kind == TableKind::kAlarm) {
                maker.Alarm(alarm);
                pRecord = &alarm;
            } else {
                maker.Event(event);
                pRecord = &event;
            }
            if (file.IsWriteBufferFull()) {
                file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
            }
            if (!file.AppendRecord(pRecord)) {
                return false;
            }
        }
        file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
    } catch (CException* e) {
        e->Delete();
        return false;
    }
    return true;
}

std::string CachedTable(TableKind kind, LONG nRows) {
    const char* pszKind = kind == TableKind::kAlarm ? "alarm" : "event";
    // The size a finished table has: header, descriptors, rows and the end byte.
    std::unique_ptr<ZDbfSchema> schema(
        kind == TableKind::kAlarm ? static_cast<ZDbfSchema*>(new LgaSchema(LGA_SCHEMA_VER_2))
                                  : static_cast<ZDbfSchema*>(new LgeSchema(LGE_SCHEMA_VER_2)));
    schema->CreateFieldDesc();
    const long long rowBytes = schema->GetRecordLength();
    const long long headerBytes = 32LL * schema->GetNumOfFields() + 33;
    const std::string path =
        CacheDir() + "/" + pszKind + "-v2-" + std::to_string(nRows) + "-r1.dbf";
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && st.st_size == headerBytes + nRows * rowBytes + 1) {
        return path;
    }
    const std::string work = path + ".tmp";
    if (!WriteTable(work, kind, nRows, -1) || ::rename(work.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "cannot make the benchmark table %s\n", path.c_str());
        std::exit(2);
    }
    return path;
}

}  // namespace qvbench
