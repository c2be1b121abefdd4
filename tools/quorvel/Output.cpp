#include "Output.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

namespace qvtool {

size_t Utf8SequenceLength(const unsigned char* p, size_t n) {
    if (n == 0) {
        return 0;
    }
    const unsigned char b0 = p[0];
    if (b0 < 0x80) {
        return 1;
    }
    size_t len;
    unsigned char lo = 0x80;  // bounds of the second byte, narrower where forms are excluded
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) {
            lo = 0xA0;  // overlong
        } else if (b0 == 0xED) {
            hi = 0x9F;  // surrogates
        }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) {
            lo = 0x90;  // overlong
        } else if (b0 == 0xF4) {
            hi = 0x8F;  // past U+10FFFF
        }
    } else {
        return 0;
    }
    if (n < len || p[1] < lo || p[1] > hi) {
        return 0;
    }
    for (size_t i = 2; i < len; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) {
            return 0;
        }
    }
    return len;
}

void AppendJsonString(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    out += '"';
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c >= 0x80) {
            const size_t len = Utf8SequenceLength(p + i, n - i);
            if (len != 0) {
                out.append(text.data() + i, len);
                i += len;
                continue;
            }
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                // Control characters, DEL, and bytes outside valid UTF-8 (their Latin-1 reading).
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0x0F];
                break;
        }
        ++i;
    }
    out += '"';
}

void AppendCsvField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(text);
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

std::string DisplayText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = p[i];
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const size_t len = c >= 0x80 ? Utf8SequenceLength(p + i, text.size() - i) : 0;
        if (len != 0) {
            out.append(text.data() + i, len);
            i += len;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

size_t DisplayWidth(std::string_view text) {
    size_t n = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++n;
        }
    }
    return n;
}

std::string FormatReal(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    char buf[64];
    std::to_chars_result r;
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
    } else {
        r = std::to_chars(buf, buf + sizeof buf, value);
    }
    return std::string(buf, r.ptr);
}

std::string IsoDate(long long t) {
    const time_t value = static_cast<time_t>(t);
    struct tm local = {};
    char buf[32];
    if (localtime_r(&value, &local) == nullptr ||
        std::strftime(buf, sizeof buf, "%Y-%m-%d", &local) == 0) {
        return std::string();
    }
    return buf;
}

std::string CellText(const Cell& cell) {
    switch (cell.type) {
        case Cell::Type::kNull:
            return std::string();
        case Cell::Type::kText:
            return cell.text;
        case Cell::Type::kInteger:
            return std::to_string(cell.integer);
        case Cell::Type::kReal:
            return FormatReal(cell.real);
        case Cell::Type::kBool:
            return cell.integer != 0 ? "true" : "false";
        case Cell::Type::kDate:
            return IsoDate(cell.integer);
    }
    return std::string();
}

namespace {

void WriteOut(FILE* out, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out);
}

class JsonlWriter : public RowWriter {
  public:
    explicit JsonlWriter(FILE* out) : m_out(out) {}

    void Begin(const std::vector<Column>& columns) override {
        m_keys.clear();
        for (const Column& c : columns) {
            std::string key;
            AppendJsonString(key, c.name);
            key += ':';
            m_keys.push_back(key);
        }
    }

    void Write(const Row& row) override {
        m_line.clear();
        m_line += '{';
        for (size_t i = 0; i < row.size() && i < m_keys.size(); ++i) {
            if (i != 0) {
                m_line += ',';
            }
            m_line += m_keys[i];
            AppendValue(row[i]);
        }
        m_line += "}\n";
        WriteOut(m_out, m_line);
    }

    void Flush() override { std::fflush(m_out); }

  private:
    void AppendValue(const Cell& cell) {
        switch (cell.type) {
            case Cell::Type::kText:
                AppendJsonString(m_line, cell.text);
                return;
            case Cell::Type::kInteger:
                m_line += std::to_string(cell.integer);
                return;
            case Cell::Type::kReal:
                // JSON has no NaN or infinity.
                m_line += std::isfinite(cell.real) ? FormatReal(cell.real) : "null";
                return;
            case Cell::Type::kBool:
                m_line += cell.integer != 0 ? "true" : "false";
                return;
            case Cell::Type::kDate: {
                const std::string date = IsoDate(cell.integer);
                if (!date.empty()) {
                    AppendJsonString(m_line, date);
                    return;
                }
                break;
            }
            case Cell::Type::kNull:
                break;
        }
        m_line += "null";
    }

    FILE* m_out;
    std::vector<std::string> m_keys;
    std::string m_line;
};

class CsvWriter : public RowWriter {
  public:
    explicit CsvWriter(FILE* out) : m_out(out) {}

    void Begin(const std::vector<Column>& columns) override {
        m_line.clear();
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i != 0) {
                m_line += ',';
            }
            AppendCsvField(m_line, columns[i].name);
        }
        m_line += "\r\n";
        WriteOut(m_out, m_line);
    }

    void Write(const Row& row) override {
        m_line.clear();
        for (size_t i = 0; i < row.size(); ++i) {
            if (i != 0) {
                m_line += ',';
            }
            AppendCsvField(m_line, CellText(row[i]));
        }
        m_line += "\r\n";
        WriteOut(m_out, m_line);
    }

    void Flush() override { std::fflush(m_out); }

  private:
    FILE* m_out;
    std::string m_line;
};

// Columns sized from the first rows; later values longer than their column are cut, and the
// cut is marked with '~'.
class TableWriter : public RowWriter {
  public:
    static constexpr size_t kSizingRows = 200;
    static constexpr size_t kMaxColumnWidth = 40;

    explicit TableWriter(FILE* out) : m_out(out) {}

    void Begin(const std::vector<Column>& columns) override {
        if (m_bStarted) {
            Flush();
            WriteOut(m_out, "\n");
        }
        m_bStarted = true;
        m_bSized = false;
        m_columns = columns;
        m_held.clear();
    }

    void Write(const Row& row) override {
        std::vector<std::string> cells;
        cells.reserve(row.size());
        for (const Cell& cell : row) {
            cells.push_back(DisplayText(CellText(cell)));
        }
        if (m_bSized) {
            PrintRow(cells);
            return;
        }
        m_held.push_back(std::move(cells));
        if (m_held.size() >= kSizingRows) {
            SizeAndRelease();
        }
    }

    void Flush() override {
        if (m_bStarted && !m_bSized) {
            SizeAndRelease();
        }
        std::fflush(m_out);
    }

  private:
    void SizeAndRelease() {
        m_widths.assign(m_columns.size(), 0);
        for (size_t i = 0; i < m_columns.size(); ++i) {
            size_t w = DisplayWidth(DisplayText(m_columns[i].name));
            for (const auto& cells : m_held) {
                if (i < cells.size()) {
                    w = std::max(w, DisplayWidth(cells[i]));
                }
            }
            m_widths[i] = std::max<size_t>(1, std::min(w, kMaxColumnWidth));
        }
        m_bSized = true;
        std::vector<std::string> names;
        std::vector<std::string> rules;
        for (size_t i = 0; i < m_columns.size(); ++i) {
            names.push_back(DisplayText(m_columns[i].name));
            rules.push_back(std::string(m_widths[i], '-'));
        }
        PrintRow(names, true);
        PrintRow(rules, true);
        for (const auto& cells : m_held) {
            PrintRow(cells);
        }
        m_held.clear();
    }

    void PrintRow(const std::vector<std::string>& cells, bool bHeading = false) {
        m_line.clear();
        for (size_t i = 0; i < cells.size() && i < m_widths.size(); ++i) {
            if (i != 0) {
                m_line += "  ";
            }
            const bool bRight =
                !bHeading && (m_columns[i].chType == 'N' || m_columns[i].chType == 'F');
            AppendPadded(cells[i], m_widths[i], bRight, i + 1 == cells.size());
        }
        // No trailing blanks on a line.
        while (!m_line.empty() && m_line.back() == ' ') {
            m_line.pop_back();
        }
        m_line += '\n';
        WriteOut(m_out, m_line);
    }

    void AppendPadded(const std::string& text, size_t width, bool bRight, bool bLast) {
        const size_t w = DisplayWidth(text);
        if (w > width) {
            // Cut after width - 1 characters, never inside one.
            size_t chars = 0;
            size_t i = 0;
            for (; i < text.size(); ++i) {
                if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
                    if (chars == width - 1) {
                        break;
                    }
                    ++chars;
                }
            }
            m_line.append(text, 0, i);
            m_line += '~';
            return;
        }
        if (bRight) {
            m_line.append(width - w, ' ');
        }
        m_line += text;
        if (!bRight && !bLast) {
            m_line.append(width - w, ' ');
        }
    }

    FILE* m_out;
    bool m_bStarted = false;
    bool m_bSized = false;
    std::vector<Column> m_columns;
    std::vector<size_t> m_widths;
    std::vector<std::vector<std::string>> m_held;
    std::string m_line;
};

}  // namespace

std::unique_ptr<RowWriter> RowWriter::Create(Format format, FILE* out) {
    switch (format) {
        case Format::kCsv:
            return std::make_unique<CsvWriter>(out);
        case Format::kJsonl:
            return std::make_unique<JsonlWriter>(out);
        case Format::kTable:
            break;
    }
    return std::make_unique<TableWriter>(out);
}

}  // namespace qvtool
