#include "TableHeader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ByteOrder.h"
#include "DbfHeader.h"
#include "ZDbfField.h"

namespace qvtool {

namespace {

using Desc = ZDbfField::DbfFldDesc;

constexpr unsigned char kTerminator = 0x0D;

// Closes the descriptor on every way out.
class Fd {
  public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }

  private:
    int m_fd;
};

std::string Hex(unsigned value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", value);
    return buf;
}

std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return out;
}

void ScanDescriptors(const unsigned char* block, size_t blockLen, RawTable& t) {
    auto fatal = [&t](unsigned long long offset, const std::string& what) {
        t.problems.push_back({offset, what, true});
    };
    // The engine reads descriptors until the terminator, whatever the header length says; the
    // header length only bounds the scan when it is plausible.
    const bool bBounded = t.nHeaderLength >= DbfHeader::kSize + 1;
    unsigned long long pos = DbfHeader::kSize;
    for (;;) {
        if (bBounded && pos >= t.nHeaderLength) {
            fatal(pos, "no 0x0D descriptor terminator before the rows begin at offset " +
                           std::to_string(t.nHeaderLength));
            return;
        }
        if (pos >= t.nFileSize || pos >= blockLen) {
            fatal(pos, "the file ends inside the column descriptors (no 0x0D terminator)");
            return;
        }
        if (block[pos] == kTerminator) {
            t.nTerminatorOffset = static_cast<long long>(pos);
            return;
        }
        if (bBounded && pos + Desc::kSize > t.nHeaderLength) {
            fatal(pos, "no 0x0D descriptor terminator before the rows begin at offset " +
                           std::to_string(t.nHeaderLength));
            return;
        }
        if (pos + Desc::kSize > blockLen) {
            fatal(pos, "the file ends inside the descriptor of column " +
                           std::to_string(t.columns.size() + 1));
            return;
        }
        if (t.columns.size() == kMaxColumns) {
            fatal(pos, "more than " + std::to_string(kMaxColumns) + " column descriptors");
            return;
        }
        Desc desc;
        std::memcpy(desc.m_bytes, block + pos, Desc::kSize);
        RawColumn col;
        const char* name = reinterpret_cast<const char*>(desc.m_bytes);
        col.name.assign(name, strnlen(name, Desc::kNameSize));
        col.chType = desc.GetType();
        col.nWidth = desc.GetWidth();
        col.nDecimals = desc.GetDecimals();
        col.nRowOffset = static_cast<unsigned>(t.nRowBytes);
        col.nDescriptorOffset = pos;
        t.nRowBytes += col.nWidth;
        if (std::strchr("CDFLN", col.chType) == nullptr || col.chType == '\0') {
            fatal(pos, "column " + std::to_string(t.columns.size() + 1) + " \"" +
                           Printable(col.name) + "\" has type " +
                           Hex(static_cast<unsigned char>(col.chType)) +
                           ", not one of C, D, F, L, N");
        }
        t.columns.push_back(col);
        pos += Desc::kSize;
    }
}

}  // namespace

long long ReadAt(int fd, unsigned char* buf, size_t n, unsigned long long offset) {
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, buf + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<long long>(done);
}

std::string RawTable::FatalReason() const {
    for (const HeaderProblem& p : problems) {
        if (p.bFatal) {
            return p.what;
        }
    }
    return std::string();
}

bool ReadRawTable(const std::string& path, RawTable& t, std::string& reason) {
    t = RawTable();
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        reason = "is a directory, not a table file";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = "is not a regular file";
        return false;
    }
    t.nFileSize = static_cast<unsigned long long>(st.st_size);
    if (t.nFileSize == 0) {
        reason = "is empty, not a table file";
        return false;
    }
    if (t.nFileSize < DbfHeader::kSize) {
        reason = "is not a table: the file ends inside the 32-byte header (" +
                 std::to_string(t.nFileSize) + " bytes)";
        return false;
    }
    // Header, every descriptor a header can describe, and the terminator.
    std::vector<unsigned char> block(DbfHeader::kSize + Desc::kSize * (kMaxColumns + 1) + 1);
    const long long got = ReadAt(fd.Get(), block.data(), block.size(), 0);
    if (got < static_cast<long long>(DbfHeader::kSize)) {
        reason = got < 0 ? std::strerror(errno) : "the header cannot be read";
        return false;
    }
    DbfHeader header;
    std::memcpy(header.m_bytes, block.data(), DbfHeader::kSize);
    t.nVersionByte = header.m_bytes[DbfHeader::kVersionOffset];
    t.nYear = 1900 + header.GetYear();
    t.nMonth = header.GetMonth();
    t.nDay = header.GetDay();
    t.nRecordCount = header.GetNumRecords();
    t.nHeaderLength = header.GetHeaderLength();
    t.nRecordLength = header.GetRecordLength();

    if (header.GetVersion() != DbfHeader::kVersionDBase3) {
        t.problems.push_back(
            {0, "is not a dBASE III table (its first byte is " + Hex(t.nVersionByte) + ")", true});
        return true;
    }
    t.bDbase3 = true;
    if (t.nHeaderLength < DbfHeader::kSize + 1) {
        t.problems.push_back(
            {DbfHeader::kHeaderLengthOffset,
             "the header length " + std::to_string(t.nHeaderLength) + " is impossible", true});
    }
    if (t.nRecordLength == 0) {
        t.problems.push_back({DbfHeader::kRecordLengthOffset, "the record length is 0", true});
    }
    ScanDescriptors(block.data(), static_cast<size_t>(got), t);
    if (t.nTerminatorOffset >= 0 && t.nHeaderLength >= DbfHeader::kSize + 1 &&
        static_cast<unsigned long long>(t.nTerminatorOffset) >= t.nHeaderLength) {
        t.problems.push_back({DbfHeader::kHeaderLengthOffset,
                              "the header length " + std::to_string(t.nHeaderLength) +
                                  " ends before the descriptor terminator at offset " +
                                  std::to_string(t.nTerminatorOffset),
                              true});
    }
    if (t.nRecordLength != 0 && t.nRowBytes > t.nRecordLength) {
        t.problems.push_back({DbfHeader::kRecordLengthOffset,
                              "the record length " + std::to_string(t.nRecordLength) +
                                  " is shorter than the columns' " + std::to_string(t.nRowBytes) +
                                  " bytes",
                              true});
    } else if (t.nRecordLength > t.nRowBytes) {
        t.problems.push_back({DbfHeader::kRecordLengthOffset,
                              "the record length " + std::to_string(t.nRecordLength) +
                                  " is longer than the columns' " + std::to_string(t.nRowBytes) +
                                  " bytes",
                              false});
    }
    if (t.nRecordLength != 0 && t.nFileSize > t.nHeaderLength) {
        const unsigned long long body = t.nFileSize - t.nHeaderLength;
        t.nRowsPresent = body / t.nRecordLength;
        t.nTailBytes = body % t.nRecordLength;
    }
    return true;
}

}  // namespace qvtool
