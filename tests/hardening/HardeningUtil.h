// Helpers of the hardening suites: a temporary directory, whole-file bytes, a table image built
// byte by byte independently of the engine (so that it can lie in every field), and reading an
// opened table's rows column by column through whatever fields the schema built.
#ifndef QUORVEL_TESTS_HARDENING_HARDENINGUTIL_H
#define QUORVEL_TESTS_HARDENING_HARDENINGUTIL_H

#include <Quorvel32.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace qvhard {

using Bytes = std::vector<unsigned char>;

class TempDir {
  public:
    TempDir() {
        std::string pattern = "/tmp/qvhard.XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            m_strPath = pattern;
        }
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_strPath.empty()) {
            std::filesystem::remove_all(m_strPath, ec);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool Ok() const { return !m_strPath.empty(); }
    std::string PathOf(const std::string& name) const { return m_strPath + "/" + name; }

  private:
    std::string m_strPath;
};

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

inline void Put16(Bytes& b, size_t off, unsigned v) {
    b.at(off) = static_cast<unsigned char>(v);
    b.at(off + 1) = static_cast<unsigned char>(v >> 8);
}

inline void Put32(Bytes& b, size_t off, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) {
        b.at(off + i) = static_cast<unsigned char>(v >> (8 * i));
    }
}

inline uint32_t Get32(const Bytes& b, size_t off) {
    return b.at(off) | (b.at(off + 1) << 8) | (b.at(off + 2) << 16) |
           (static_cast<uint32_t>(b.at(off + 3)) << 24);
}

// A dBASE III table image: header, descriptors, terminator, rows and the end byte, every length
// computed from the columns unless overridden.
class TableImage {
  public:
    struct Col {
        std::string name;
        unsigned char type;
        unsigned char width;
        unsigned char decimals;
    };

    TableImage& Column(const std::string& name, unsigned char type, unsigned char width,
                       unsigned char decimals = 0) {
        m_cols.push_back({name, type, width, decimals});
        return *this;
    }
    // One row from the columns' texts, each blank-padded or cut to its width.
    TableImage& Row(const std::vector<std::string>& texts) {
        std::string row = " ";
        for (size_t i = 0; i < m_cols.size(); ++i) {
            std::string t = i < texts.size() ? texts[i] : std::string();
            t.resize(m_cols[i].width, ' ');
            row += t;
        }
        m_rows.push_back(row);
        return *this;
    }
    size_t RowBytes() const {
        size_t n = 1;
        for (const Col& c : m_cols) {
            n += c.width;
        }
        return n;
    }
    size_t HeaderLength() const { return 32 * m_cols.size() + 33; }

    Bytes Build(bool bEofByte = true) const {
        Bytes b(32, 0);
        b[0] = 0x03;
        b[1] = 124;  // 2024-03-15
        b[2] = 3;
        b[3] = 15;
        Put32(b, 4, static_cast<uint32_t>(m_rows.size()));
        Put16(b, 8, static_cast<unsigned>(HeaderLength()));
        Put16(b, 10, static_cast<unsigned>(RowBytes()));
        unsigned offset = 1;
        for (const Col& c : m_cols) {
            unsigned char d[32] = {};
            std::memcpy(d, c.name.data(), std::min<size_t>(c.name.size(), 10));
            d[11] = c.type;
            d[12] = static_cast<unsigned char>(offset);
            d[13] = static_cast<unsigned char>(offset >> 8);
            d[16] = c.width;
            d[17] = c.decimals;
            offset += c.width;
            b.insert(b.end(), d, d + 32);
        }
        b.push_back(0x0D);
        for (const std::string& r : m_rows) {
            b.insert(b.end(), r.begin(), r.end());
        }
        if (bEofByte) {
            b.push_back(0x1A);
        }
        return b;
    }

  private:
    std::vector<Col> m_cols;
    std::vector<std::string> m_rows;
};

// The value a field read from a column: text for 'C', the number otherwise.
struct Cell {
    char type = 0;
    std::string text;
    LONG number = 0;  // 'D' TIME32, 'L' 0/1, 'N'
    double real = 0;  // 'F'
};

// Converts row i of the read buffer column by column through the schema's fields. A member
// larger than any field writes (256 bytes) with a guard after it; guardOk turns false when a
// conversion wrote past what its type may.
inline std::vector<Cell> ReadCells(ZDbfFile& table, LONG i, bool* pGuardOk = nullptr) {
    std::vector<Cell> cells;
    ZDbfSchema* pSchema = table.GetSchema();
    unsigned char* row = table.GetReadBuffer()->GetRecordPtr(i);
    unsigned char* cursor = row + 1;
    bool ok = true;
    for (int f = 0; f < pSchema->GetSize(); ++f) {
        ZDbfField* pField = pSchema->GetField(f);
        if (pField == nullptr) {
            continue;
        }
        unsigned char member[256 + 16];
        std::memset(member, 0xA5, sizeof member);
        unsigned char* before = cursor;
        pField->ReadFromBuffer(cursor, member);
        ok = ok && cursor == before + pField->GetWidth();
        Cell c;
        c.type = pField->GetType();
        size_t used = 4;
        switch (c.type) {
            case 'C':
                c.text = reinterpret_cast<const char*>(member);
                used = size_t{pField->GetWidth()} + 1;
                break;
            case 'F':
                std::memcpy(&c.real, member, sizeof c.real);
                used = 8;
                break;
            default:
                std::memcpy(&c.number, member, sizeof c.number);
                break;
        }
        for (size_t k = used; k < sizeof member; ++k) {
            ok = ok && member[k] == 0xA5;
        }
        cells.push_back(c);
    }
    ok = ok && cursor <= row + table.GetRecordLength();
    if (pGuardOk != nullptr) {
        *pGuardOk = ok;
    }
    return cells;
}

// Local midnight of a calendar date, as the date column gives it.
inline LONG LocalMidnight(int year, int month, int day) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_isdst = -1;
    return static_cast<LONG>(mktime(&t));
}

}  // namespace qvhard

#endif  // QUORVEL_TESTS_HARDENING_HARDENINGUTIL_H
