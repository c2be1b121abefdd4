// Writes seed inputs for the fuzz harnesses with the library itself: generic tables of every
// column type (widths 0, the usual ones and 255), the alarm and event logs of both versions in
// this build's layout, and damaged copies of each: cut at every region boundary and inside a
// row, header length, record length and record count changed, the end byte missing or doubled.
// The field harness gets each table's descriptors with a column text and a value.
//
// Usage: make_seeds OUTDIR   (creates OUTDIR/table, OUTDIR/log and OUTDIR/field)
#include <Quorvel32.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

#if defined(QUORVEL32_LEGACY_LAYOUT) && QUORVEL32_LEGACY_LAYOUT
const char kLayout[] = "legacy";
#else
const char kLayout[] = "current";
#endif

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A schema of given fields that writes each row from one cell per column.
class CellSchema : public ZDbfSchema {
  public:
    static constexpr size_t kCell = 256;
    std::vector<ZDbfField*> m_fields;

    void CreateFieldDesc() override {
        RemoveAllFields();
        for (size_t i = 0; i < m_fields.size(); ++i) {
            SetField(static_cast<int>(i), m_fields[i]);
        }
        m_fields.clear();
    }
    void WriteToBuffer(unsigned char*& cursor, void* record) override {
        *cursor++ = ' ';
        unsigned char* cells = static_cast<unsigned char*>(record);
        for (int i = 0; i < GetSize(); ++i) {
            if (ZDbfField* f = GetField(i)) {
                f->WriteToBuffer(cursor, cells + i * kCell);
            }
        }
    }
};

template <typename T>
void SetCell(std::vector<unsigned char>& cells, int i, T value) {
    qv::StoreUnaligned<T>(cells.data() + i * CellSchema::kCell, value);
}
void SetText(std::vector<unsigned char>& cells, int i, const char* text) {
    std::strncpy(reinterpret_cast<char*>(cells.data() + i * CellSchema::kCell), text,
                 CellSchema::kCell - 1);
}

void MakeGeneric(const std::string& path, std::vector<ZDbfField*> fields, int nRows) {
    CellSchema* schema = new CellSchema;
    schema->m_fields = fields;
    const size_t nCols = fields.size();
    ZDbfFile table(path.c_str(), schema);
    table.CreateTable(0, 4, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr);
    for (int r = 0; r < nRows; ++r) {
        std::vector<unsigned char> cells(CellSchema::kCell * (nCols + 1), 0);
        for (size_t i = 0; i < nCols; ++i) {
            ZDbfField* f = table.GetSchema()->GetField(static_cast<int>(i));
            switch (f->GetType()) {
                case 'C':
                    SetText(cells, static_cast<int>(i),
                            r % 2 ? "Pump 7 high"
                                  : "Kessel \xc3\xbc"
                                    "ber");
                    break;
                case 'D':
                    SetCell<TIME32>(cells, static_cast<int>(i), 1700000000 + r * 86400);
                    break;
                case 'F':
                    SetCell<double>(cells, static_cast<int>(i), r == 2 ? 1e300 : -12.375 * (r + 1));
                    break;
                case 'L':
                    SetCell<int32_t>(cells, static_cast<int>(i), r % 2);
                    break;
                case 'N':
                    SetCell<LONG>(cells, static_cast<int>(i), r == 2 ? -2147483647 : 42 * r);
                    break;
            }
        }
        if (table.IsWriteBufferFull()) {
            table.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
        }
        table.AppendRecord(cells.data());
    }
}

template <typename Schema, typename Record, typename Fill>
void MakeLog(const std::string& path, int nVersion, int nRows, Fill fill) {
    ZDbfFile table(path.c_str(),
                   new Schema(static_cast<decltype(Schema().GetSchemaVer())>(nVersion)));
    table.CreateTable(0, 8, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr);
    for (int r = 0; r < nRows; ++r) {
        Record rec;
        std::memset(&rec, 0, sizeof rec);
        fill(rec, r);
        table.AppendRecord(&rec);
    }
}

void FillAlarm(ALMEVENT& a, int r) {
    a.date = 1700000000 + r * 3600;
    std::strcpy(a.time, "12:34:56");
    a.militime = static_cast<WORD>(100 * r);
    std::strcpy(a.transType, r % 2 ? "ACK" : "ALM");
    std::strcpy(a.tagName, "Plant.Boiler1.Pressure");
    a.tagValue = 3.25 + r;
    a.tagType = 'A';
    a.threshVal = 3.0;
    a.threshNum = 2;
    std::strcpy(a.threshLabel, "HIHI");
    a.severity = 3;
    a.dstFlag = '0';
    std::strcpy(a.userId, "operator");
    a.alarmType = 1;
    std::strcpy(a.description, "Pressure above limit");
    std::strcpy(a.userStn, "STN-01");
    std::strcpy(a.loggingStn, "LOG-01");
}

void FillEvent(LOGEVENT2& e, int r) {
    e.type = static_cast<WORD>(r + 1);
    e.id = 1000 + r;
    e.date = 1700000000 + r * 60;
    std::strcpy(e.time, "01:02:03");
    e.militime = 7;
    e.dstFlag = '1';
    std::strcpy(e.category, "System");
    std::strcpy(e.source, "Scheduler");
    std::strcpy(e.user, "admin");
    std::strcpy(e.description, "Shift report printed");
    std::strcpy(e.userStn, "STN-02");
    std::strcpy(e.loggingStn, "LOG-02");
}

void Put16(Bytes& b, size_t off, unsigned v) {
    if (b.size() >= off + 2) {
        b[off] = static_cast<unsigned char>(v);
        b[off + 1] = static_cast<unsigned char>(v >> 8);
    }
}
void Put32(Bytes& b, size_t off, uint32_t v) {
    if (b.size() >= off + 4) {
        for (int i = 0; i < 4; ++i) {
            b[off + i] = static_cast<unsigned char>(v >> (8 * i));
        }
    }
}

// The damaged copies of one table.
std::vector<std::pair<std::string, Bytes>> Damaged(const Bytes& t) {
    std::vector<std::pair<std::string, Bytes>> out;
    if (t.size() < 33) {
        return out;
    }
    const unsigned hdrLen = t[8] | (t[9] << 8);
    const unsigned recLen = t[10] | (t[11] << 8);
    auto cut = [&](const char* name, size_t n) {
        if (n < t.size()) {
            out.emplace_back(name, Bytes(t.begin(), t.begin() + static_cast<long>(n)));
        }
    };
    cut("cut31", 31);
    cut("cut32", 32);
    cut("cut-desc", 32 + 17);
    cut("cut-term", hdrLen - 1);
    cut("cut-hdr", hdrLen);
    cut("cut-row", hdrLen + recLen / 2);
    cut("cut-row2", hdrLen + recLen + recLen / 3);
    cut("no-eof", t.size() - 1);
    auto edit = [&](const char* name, auto change) {
        Bytes b = t;
        change(b);
        out.emplace_back(name, b);
    };
    edit("hdrlen-past-end", [&](Bytes& b) { Put16(b, 8, static_cast<unsigned>(t.size() + 100)); });
    edit("hdrlen-plus1", [&](Bytes& b) { Put16(b, 8, hdrLen + 1); });
    edit("hdrlen-0", [&](Bytes& b) { Put16(b, 8, 0); });
    edit("reclen-0", [&](Bytes& b) { Put16(b, 10, 0); });
    edit("reclen-1", [&](Bytes& b) { Put16(b, 10, 1); });
    edit("reclen-minus1", [&](Bytes& b) { Put16(b, 10, recLen - 1); });
    edit("reclen-plus1", [&](Bytes& b) { Put16(b, 10, recLen + 1); });
    edit("reclen-ffff", [&](Bytes& b) { Put16(b, 10, 0xFFFF); });
    edit("count-huge", [&](Bytes& b) { Put32(b, 4, 0x7FFFFFF0u); });
    edit("count-neg", [&](Bytes& b) { Put32(b, 4, 0xFFFFFFFEu); });
    edit("count-0", [&](Bytes& b) { Put32(b, 4, 0); });
    edit("eof-doubled", [&](Bytes& b) { b.push_back(0x1A); });
    edit("no-terminator", [&](Bytes& b) {
        if (hdrLen >= 1 && hdrLen - 1 < b.size()) {
            b[hdrLen - 1] = ' ';
        }
    });
    if (hdrLen >= 64 + 1 && t.size() >= 64) {  // a first descriptor to change
        edit("type-0x80", [&](Bytes& b) { b[32 + 11] = 0x80; });
        edit("width-0", [&](Bytes& b) { b[32 + 16] = 0; });
        edit("width-255", [&](Bytes& b) { b[32 + 16] = 255; });
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    for (const char* sub : {"", "/table", "/log", "/field"}) {
        ::mkdir((dir + sub).c_str(), 0777);
    }
    const std::string tmp = dir + "/work.dbf";
    std::vector<std::pair<std::string, Bytes>> tables;
    auto keep = [&](const std::string& name) { tables.emplace_back(name, ReadAll(tmp)); };

    MakeGeneric(tmp,
                {new DbfStringField("NAME", 10, 1), new DbfNumericField("COUNT", 5, 0),
                 new DbfDateField("DAY")},
                2);
    keep("cnd");
    MakeGeneric(tmp,
                {new DbfStringField("TEXT", 12, 1), new DbfDateField("DAY"),
                 new DbfFloatField("VALUE", 20, 10), new DbfBooleanField("FLAG"),
                 new DbfNumericField("N", 11, 0)},
                3);
    keep("all-types");
    MakeGeneric(tmp,
                {new DbfStringField("WIDE", 255, 1), new DbfFloatField("F255", 255, 3),
                 new DbfNumericField("N255", 255, 0)},
                2);
    keep("wide");
    MakeGeneric(tmp,
                {new DbfStringField("EMPTY", 0, 1), new DbfNumericField("N0", 0, 0),
                 new DbfFloatField("F0", 0, 0), new DbfStringField("ONE", 1, 0)},
                3);
    keep("width-0");
    MakeGeneric(tmp, {}, 0);
    keep("no-columns");
    for (int ver = 1; ver <= 2; ++ver) {
        MakeLog<LgaSchema, ALMEVENT>(tmp, ver, 3, FillAlarm);
        keep("alarm-v" + std::to_string(ver));
        MakeLog<LgeSchema, LOGEVENT2>(tmp, ver, 3, FillEvent);
        keep("event-v" + std::to_string(ver));
    }
    std::remove(tmp.c_str());

    int nFiles = 0;
    for (const auto& [name, bytes] : tables) {
        const std::string base = std::string(kLayout) + "-" + name;
        const bool isLog = name.rfind("alarm", 0) == 0 || name.rfind("event", 0) == 0;
        WriteAll(dir + "/table/" + base, bytes);
        WriteAll(dir + "/log/" + base, bytes);
        nFiles += 2;
        for (const auto& [dname, dbytes] : Damaged(bytes)) {
            WriteAll(dir + (isLog ? "/log/" : "/table/") + base + "-" + dname, dbytes);
            ++nFiles;
        }
        // Field seeds: each descriptor with its first row's column text and a value.
        const unsigned hdrLen = bytes[8] | (bytes[9] << 8);
        unsigned column = 1;
        for (size_t d = 32; d + 32 <= hdrLen && bytes[d] != 0x0D; d += 32) {
            const unsigned width = bytes[d + 16];
            Bytes seed(bytes.begin() + static_cast<long>(d),
                       bytes.begin() + static_cast<long>(d) + 32);
            seed.push_back(0);                                      // options
            seed.push_back(static_cast<unsigned char>(width / 2));  // bounded member size
            const size_t rowStart = hdrLen + column;
            for (unsigned i = 0; i < width; ++i) {
                seed.push_back(rowStart + i < bytes.size() ? bytes[rowStart + i] : ' ');
            }
            const unsigned char value[8] = {0x00, 0x5E, 0xD0, 0x65, 'a', 'b', 0, 0};
            seed.insert(seed.end(), value, value + sizeof value);
            WriteAll(dir + "/field/" + base + "-col" + std::to_string(column), seed);
            ++nFiles;
            column += width;
        }
    }
    std::printf("%d seed files in %s\n", nFiles, dir.c_str());
    return 0;
}
