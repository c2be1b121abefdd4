// quorvel check: an integrity report of table files, from their raw bytes in one pass.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Cli.h"
#include "Commands.h"
#include "Output.h"
#include "TableHeader.h"

namespace qvtool {

namespace {

const char kHelp[] =
    "Usage: quorvel check [--max-problems N] FILE...\n"
    "Reads each table once, byte by byte, and reports what is wrong with it:\n"
    "  - a header or column descriptors the table engine cannot read (no 0x0D terminator,\n"
    "    unknown column types, lengths that do not fit)\n"
    "  - a record count in the header that differs from the whole rows in the file\n"
    "  - a last row cut short\n"
    "  - the 0x1A end byte missing, doubled, or inside the rows\n"
    "  - deletion flags other than blank and '*'\n"
    "  - values that do not parse for their column's type: text in an N or F column, dates\n"
    "    that do not exist (20241301, 20240230), logicals other than T, F, Y, N, ?\n"
    "    (blank values are empty values and fine)\n"
    "Each problem is told with the row (counted from 0) and the byte offset in the file.\n"
    "  --max-problems N   detail at most N problems per file (default 100); all are counted\n"
    "Exit status 0 when every table is clean, 1 when problems were found or a file could not\n"
    "be read.\n";

constexpr unsigned char kEndByte = 0x1A;
constexpr size_t kBlockBytes = 1 << 20;

// A column text for a message: quoted, non-printable bytes as '?', long texts cut.
std::string Quoted(const unsigned char* p, size_t n) {
    std::string out = "\"";
    size_t end = n;
    while (end > 0 && p[end - 1] == ' ') {
        --end;
    }
    size_t begin = 0;
    while (begin < end && p[begin] == ' ') {
        ++begin;
    }
    for (size_t i = begin; i < end && i < begin + 40; ++i) {
        out += (p[i] >= 0x20 && p[i] < 0x7F) ? static_cast<char>(p[i]) : '?';
    }
    if (end - begin > 40) {
        out += "...";
    }
    return out + "\"";
}

bool IsBlank(const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != ' ') {
            return false;
        }
    }
    return true;
}

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// A number as dBASE stores it, with blanks around it: [+-]digits[.digits], at least one digit;
// an exponent too where bExponent. A column filled with '*' overflowed when it was written,
// which is a value too.
bool IsNumberText(const unsigned char* p, size_t n, bool bExponent) {
    size_t i = 0;
    while (i < n && p[i] == ' ') {
        ++i;
    }
    size_t end = n;
    while (end > i && p[end - 1] == ' ') {
        --end;
    }
    bool bStars = end > i;
    for (size_t k = i; k < end; ++k) {
        bStars = bStars && p[k] == '*';
    }
    if (bStars) {
        return true;
    }
    if (i < end && (p[i] == '+' || p[i] == '-')) {
        ++i;
    }
    size_t digits = 0;
    while (i < end && IsDigit(p[i])) {
        ++i;
        ++digits;
    }
    if (i < end && p[i] == '.') {
        ++i;
        while (i < end && IsDigit(p[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (bExponent && i < end && (p[i] == 'e' || p[i] == 'E')) {
        ++i;
        if (i < end && (p[i] == '+' || p[i] == '-')) {
            ++i;
        }
        size_t expDigits = 0;
        while (i < end && IsDigit(p[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0) {
            return false;
        }
    }
    return i == end;
}

// YYYYMMDD naming a day of the calendar. "00000000" is the empty date.
bool IsDateText(const unsigned char* p, size_t n) {
    if (n < 8) {
        return false;
    }
    for (size_t i = 0; i < 8; ++i) {
        if (!IsDigit(p[i])) {
            return false;
        }
    }
    if (!IsBlank(p + 8, n - 8)) {
        return false;
    }
    if (std::memcmp(p, "00000000", 8) == 0) {
        return true;
    }
    const int year = (p[0] - '0') * 1000 + (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
    const int month = (p[4] - '0') * 10 + (p[5] - '0');
    const int day = (p[6] - '0') * 10 + (p[7] - '0');
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year == 0 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    const bool bLeap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && bLeap ? 1 : 0);
}

bool IsLogicalText(const unsigned char* p, size_t n) {
    if (n == 0) {
        return true;
    }
    return std::strchr("TtFfYyNn? ", p[0]) != nullptr && p[0] != '\0' && IsBlank(p + 1, n - 1);
}

class Checker {
  public:
    Checker(const std::string& path, const RawTable& table, size_t nMaxDetails)
        : m_path(DisplayText(path)), m_table(table), m_nMaxDetails(nMaxDetails) {}

    // Reports every problem; returns how many there were. -1 when the file cannot be read.
    long long Run(int fd) {
        for (const HeaderProblem& p : m_table.problems) {
            Problem(-1, p.nOffset, p.what);
        }
        const RawTable& t = m_table;
        if (t.nRecordLength == 0 || t.nHeaderLength < 33) {
            return Finish();  // no rows can be found
        }
        if (t.nFileSize < t.nHeaderLength) {
            Problem(
                -1, t.nFileSize,
                "the file ends before the rows begin at offset " + std::to_string(t.nHeaderLength));
            return Finish();
        }
        if (t.nRecordCount < 0) {
            Problem(
                -1, 4,
                "the header's record count is negative (" + std::to_string(t.nRecordCount) + ")");
        } else if (static_cast<unsigned long long>(t.nRecordCount) != t.nRowsPresent) {
            Problem(-1, 4,
                    "the header counts " + std::to_string(t.nRecordCount) + " rows, but " +
                        std::to_string(t.nRowsPresent) + " whole rows are in the file");
        }
        if (!ScanRows(fd) || !CheckTail(fd)) {
            return -1;
        }
        return Finish();
    }

  private:
    void Problem(long long nRow, unsigned long long nOffset, const std::string& what) {
        if (m_nProblems++ >= static_cast<long long>(m_nMaxDetails)) {
            return;
        }
        if (nRow >= 0) {
            std::printf("%s: row %lld, byte %llu: %s\n", m_path.c_str(), nRow, nOffset,
                        what.c_str());
        } else {
            std::printf("%s: byte %llu: %s\n", m_path.c_str(), nOffset, what.c_str());
        }
    }

    long long Finish() {
        if (m_nProblems > static_cast<long long>(m_nMaxDetails)) {
            std::printf("%s: ... and %lld more problems\n", m_path.c_str(),
                        m_nProblems - static_cast<long long>(m_nMaxDetails));
        }
        if (m_nProblems == 0) {
            std::printf("%s: clean (%llu rows)\n", m_path.c_str(), m_table.nRowsPresent);
        } else {
            std::printf("%s: %lld problem%s\n", m_path.c_str(), m_nProblems,
                        m_nProblems == 1 ? "" : "s");
        }
        return m_nProblems;
    }

    bool ScanRows(int fd) {
        const RawTable& t = m_table;
        const size_t recLen = t.nRecordLength;
        const size_t rowsPerBlock = std::max<size_t>(1, kBlockBytes / recLen);
        std::vector<unsigned char> block(rowsPerBlock * recLen);
        for (unsigned long long first = 0; first < t.nRowsPresent; first += rowsPerBlock) {
            const unsigned long long n =
                std::min<unsigned long long>(rowsPerBlock, t.nRowsPresent - first);
            const unsigned long long offset = t.nHeaderLength + first * recLen;
            const long long got = ReadAt(fd, block.data(), static_cast<size_t>(n * recLen), offset);
            if (got != static_cast<long long>(n * recLen)) {
                ReportFileError(m_path, got < 0 ? std::strerror(errno)
                                                : "the file shrank while it was being checked");
                return false;
            }
            for (unsigned long long i = 0; i < n; ++i) {
                CheckRow(static_cast<long long>(first + i), offset + i * recLen,
                         block.data() + i * recLen);
            }
        }
        return true;
    }

    void CheckRow(long long nRow, unsigned long long nOffset, const unsigned char* row) {
        const unsigned char flag = row[0];
        if (flag == kEndByte) {
            Problem(nRow, nOffset,
                    "the end byte 0x1A stands where this row begins, inside the rows");
        } else if (flag != ' ' && flag != '*') {
            char text[64];
            std::snprintf(text, sizeof text, "deletion flag 0x%02X is neither blank nor '*'", flag);
            Problem(nRow, nOffset, text);
        }
        for (const RawColumn& c : m_table.columns) {
            if (c.nRowOffset + c.nWidth > m_table.nRecordLength) {
                break;  // the header's record length cuts the columns short; reported already
            }
            const unsigned char* p = row + c.nRowOffset;
            const size_t n = c.nWidth;
            if (IsBlank(p, n)) {
                continue;
            }
            const char* pszWant = nullptr;
            switch (c.chType) {
                case 'N':
                    pszWant = IsNumberText(p, n, false) ? nullptr : "is not a number";
                    break;
                case 'F':
                    pszWant = IsNumberText(p, n, true) ? nullptr : "is not a number";
                    break;
                case 'D':
                    pszWant = IsDateText(p, n) ? nullptr : "is not a date (YYYYMMDD)";
                    break;
                case 'L':
                    pszWant = IsLogicalText(p, n) ? nullptr : "is not a logical (T, F, Y, N, ?)";
                    break;
                default:
                    break;
            }
            if (pszWant != nullptr) {
                Problem(nRow, nOffset + c.nRowOffset,
                        "column \"" + DisplayText(c.name) + "\": " + Quoted(p, n) + " " + pszWant);
            }
        }
    }

    // What follows the last whole row: nothing, the end byte, or a cut row.
    bool CheckTail(int fd) {
        const RawTable& t = m_table;
        const unsigned long long start = t.nHeaderLength + t.nRowsPresent * t.nRecordLength;
        const long long nextRow = static_cast<long long>(t.nRowsPresent);
        std::vector<unsigned char> tail(static_cast<size_t>(t.nTailBytes));
        if (!tail.empty() &&
            ReadAt(fd, tail.data(), tail.size(), start) != static_cast<long long>(tail.size())) {
            ReportFileError(m_path, std::strerror(errno));
            return false;
        }
        if (tail.empty()) {
            // A table that was created and never appended to has no end byte.
            if (t.nRowsPresent != 0 || t.nRecordCount != 0) {
                Problem(-1, start, "the end byte 0x1A is missing after the last row");
            }
            return true;
        }
        if (tail[0] == kEndByte) {
            size_t ends = 1;
            while (ends < tail.size() && tail[ends] == kEndByte) {
                ++ends;
            }
            if (ends == tail.size() && ends > 1) {
                Problem(-1, start,
                        "the end byte 0x1A is there " + std::to_string(ends) +
                            " times instead of once");
            } else if (ends < tail.size()) {
                Problem(
                    -1, start + ends,
                    std::to_string(tail.size() - ends) + " stray bytes follow the end byte 0x1A");
            }
            return true;
        }
        size_t present = tail.size();
        const bool bEndAfter = tail.back() == kEndByte;
        if (bEndAfter) {
            --present;
        }
        Problem(nextRow, start,
                "the last row is cut short: " + std::to_string(present) + " of " +
                    std::to_string(t.nRecordLength) + " bytes" +
                    (bEndAfter ? ", then the end byte 0x1A" : ", and no end byte 0x1A"));
        return true;
    }

    std::string m_path;
    const RawTable& m_table;
    size_t m_nMaxDetails;
    long long m_nProblems = 0;
};

}  // namespace

int RunCheck(int argc, char** argv) {
    const ArgList args(argc, argv, {"--max-problems"}, {});
    if (args.WantsHelp()) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (args.Operands().empty()) {
        throw UsageError("no table file given");
    }
    const size_t nMaxDetails =
        args.Has("--max-problems")
            ? static_cast<size_t>(
                  ParseInteger(args.Value("--max-problems"), "--max-problems", 0, INT32_MAX))
            : 100;
    int rc = kExitOk;
    for (const std::string& path : args.Operands()) {
        RawTable table;
        std::string reason;
        if (!ReadRawTable(path, table, reason)) {
            std::fflush(stdout);
            ReportFileError(path, reason);
            rc = kExitFailure;
            continue;
        }
        if (!table.bDbase3) {
            std::fflush(stdout);
            ReportFileError(path, table.FatalReason());
            rc = kExitFailure;
            continue;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fflush(stdout);
            ReportFileError(path, std::strerror(errno));
            rc = kExitFailure;
            continue;
        }
        Checker checker(path, table, nMaxDetails);
        const long long nProblems = checker.Run(fd);
        ::close(fd);
        if (nProblems != 0) {
            rc = kExitFailure;
        }
    }
    std::fflush(stdout);
    return rc;
}

}  // namespace qvtool
