// Shared pieces of the fuzz harnesses: the engine works on paths, so each input is written to a
// file of this process's own temporary directory (under /dev/shm when it exists, so that the
// millions of rewrites stay in memory), and a check that aborts with a message libFuzzer shows.
//
// libFuzzer ends a run with _Exit (time limit, crash), which skips atexit: the directory is named
// after the process, and each harness removes those of processes that are gone when it starts.
#ifndef QUORVEL_FUZZ_FUZZSUPPORT_H
#define QUORVEL_FUZZ_FUZZSUPPORT_H

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

// Aborts the run (libFuzzer saves the input as a crash) when cond does not hold.
#define QV_FUZZ_CHECK(cond)                                                               \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

namespace qvfuzz {

// The file that holds the current input; its directory is removed at exit.
class InputFile {
  public:
    static InputFile& Get() {
        static InputFile instance;
        return instance;
    }

    // Replaces the file's contents with the input; returns its path.
    const char* Write(const uint8_t* data, size_t size) {
        FILE* f = std::fopen(m_strFile.c_str(), "wb");
        QV_FUZZ_CHECK(f != nullptr);
        if (size > 0) {
            QV_FUZZ_CHECK(std::fwrite(data, 1, size, f) == size);
        }
        QV_FUZZ_CHECK(std::fclose(f) == 0);
        return m_strFile.c_str();
    }

    const char* Path() const { return m_strFile.c_str(); }

  private:
    InputFile() {
        struct stat st;
        const std::string base =
            (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)) ? "/dev/shm" : "/tmp";
        RemoveStale(base);
        m_strDir = base + "/qvfuzz." + std::to_string(::getpid());
        QV_FUZZ_CHECK(::mkdir(m_strDir.c_str(), 0700) == 0 || errno == EEXIST);
        m_strFile = m_strDir + "/input.dbf";
        // The handler runs after this object is destroyed: it keeps its own copy of the name.
        static char s_szDir[256];
        std::snprintf(s_szDir, sizeof s_szDir, "%s", m_strDir.c_str());
        std::atexit([] { RemoveDir(s_szDir); });
    }

    static void RemoveDir(const std::string& dir) {
        ::unlink((dir + "/input.dbf").c_str());
        ::rmdir(dir.c_str());
    }

    // Removes base/qvfuzz.PID for every PID that names no process.
    static void RemoveStale(const std::string& base) {
        DIR* d = ::opendir(base.c_str());
        if (d == nullptr) {
            return;
        }
        while (const struct dirent* e = ::readdir(d)) {
            if (std::strncmp(e->d_name, "qvfuzz.", 7) != 0) {
                continue;
            }
            char* end = nullptr;
            const long pid = std::strtol(e->d_name + 7, &end, 10);
            if (pid > 0 && *end == '\0' && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
                errno == ESRCH) {
                RemoveDir(base + "/" + e->d_name);
            }
        }
        ::closedir(d);
    }

    std::string m_strDir;
    std::string m_strFile;
};

// A value area with guard bytes on both sides; Intact() tells whether a conversion wrote
// outside the nSize bytes at Data().
class Guarded {
  public:
    static constexpr size_t kGuard = 32;
    static constexpr unsigned char kFill = 0xA5;

    explicit Guarded(size_t nSize)
        : m_nSize(nSize), m_bytes(new unsigned char[nSize + 2 * kGuard]) {
        std::memset(m_bytes, kFill, nSize + 2 * kGuard);
    }
    ~Guarded() { delete[] m_bytes; }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    unsigned char* Data() { return m_bytes + kGuard; }
    size_t Size() const { return m_nSize; }
    bool Intact() const {
        for (size_t i = 0; i < kGuard; ++i) {
            if (m_bytes[i] != kFill || m_bytes[kGuard + m_nSize + i] != kFill) {
                return false;
            }
        }
        return true;
    }

  private:
    size_t m_nSize;
    unsigned char* m_bytes;
};

// The rows a fill of up to nCapacity rows of recLen bytes at byte pos of the file's bytes holds:
// the whole rows that arrive, where with one-byte rows (a table without columns) the end byte
// 0x1A that ends the file is no row.
inline long long RowsInBlock(const uint8_t* data, long long size, long long pos, unsigned recLen,
                             long long nCapacity) {
    if (recLen == 0 || pos < 0 || pos >= size || nCapacity <= 0) {
        return 0;
    }
    long long got = size - pos;
    if (got > nCapacity * recLen) {
        got = nCapacity * recLen;
    }
    if (recLen == 1 && data[pos + got - 1] == 0x1A && pos + got >= size) {
        --got;
    }
    return got / recLen;
}

}  // namespace qvfuzz

#endif  // QUORVEL_FUZZ_FUZZSUPPORT_H
