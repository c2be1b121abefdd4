// make_alarm_table: writes a small version-2 alarm log table of known rows, in the layout of the
// library it is built against (current: "TagName" 255 and "Dscription" 254 wide; legacy: 40 and
// 132). Built by install_test.sh against the installed tree, like any host.
//
// Usage: make_alarm_table OUT
#include <Quorvel32.h>

#include <cstdio>
#include <cstring>

namespace {

struct Row {
    int nDay;
    const char* pszTime;
    const char* pszTag;
    double dValue;
    WORD nSeverity;
    const char* pszDescription;
};

// The third row's tag and description are longer than the legacy members hold (40 and 132).
const Row kRows[] = {
    {15, "08:00:01", "TANK1.LEVEL", 12.5, 3, "High level"},
    {15, "08:05:30", "PUMP2.PRESSURE", -3.25, 7, "Low pressure"},
    {16, "23:59:59", "PLANT_NORTH.AREA_07.LINE_3.TANK_12.LEVEL_TRANSMITTER_LT1203.HI", 1000, 9,
     "Level above high-high limit in tank 12 of line 3, area 7 of the north plant; operator "
     "to check the inlet valve and the transmitter calibration at once.."},
};

void Copy(char* pDest, size_t nSize, const char* pszSrc) {
    std::strncpy(pDest, pszSrc, nSize - 1);
    pDest[nSize - 1] = '\0';
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_alarm_table OUT\n");
        return 2;
    }
    ZDbfFile table(argv[1], new LgaSchema(LGA_SCHEMA_VER_2));
    try {
        if (!table.CreateTable(1, 8, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr)) {
            std::fprintf(stderr, "make_alarm_table: cannot create %s\n", argv[1]);
            return 1;
        }
        for (const Row& row : kRows) {
            ALMEVENT rec{};
            rec.date = static_cast<TIME32>(CTime(2024, 3, row.nDay, 0, 0, 0).GetTime());
            Copy(rec.time, sizeof rec.time, row.pszTime);
            Copy(rec.transType, sizeof rec.transType, "ALM");
            Copy(rec.tagName, sizeof rec.tagName, row.pszTag);
            rec.tagValue = row.dValue;
            rec.severity = row.nSeverity;
            Copy(rec.description, sizeof rec.description, row.pszDescription);
            Copy(rec.userStn, sizeof rec.userStn, "STN1");
            Copy(rec.loggingStn, sizeof rec.loggingStn, "STN1");
            if (!table.AppendRecord(&rec)) {
                std::fprintf(stderr, "make_alarm_table: write buffer full\n");
                return 1;
            }
        }
        table.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
    } catch (CException* e) {
        char szMessage[256] = "";
        e->GetErrorMessage(szMessage, sizeof szMessage);
        e->Delete();
        std::fprintf(stderr, "make_alarm_table: %s: %s\n", argv[1], szMessage);
        return 1;
    }
    return 0;
}
