// Helpers of the quorvel tool tests: running the built tool as a child process, a scratch
// directory, and small tables made byte by byte. Nothing here knows the tool's internals.
#ifndef QUORVEL_TESTS_TOOLS_TOOLTESTUTIL_H
#define QUORVEL_TESTS_TOOLS_TOOLTESTUTIL_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace qvtool_test {

// A fresh directory, removed with its contents when the object goes.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvtool.XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!m_path.empty()) {
            std::filesystem::remove_all(m_path, ec);
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string Of(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// The tool (or any program) as a child: standard output through a pipe the test reads,
// standard error into a file, standard input from /dev/null.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const std::string& errPath) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_fd = fds[0];
    }
    ~Child() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

    // The next line of standard output without its newline; false at its end or when no line
    // came within the timeout.
    bool ReadLine(std::string& line, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const size_t nl = m_pending.find('\n');
            if (nl != std::string::npos) {
                line = m_pending.substr(0, nl);
                m_pending.erase(0, nl + 1);
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || m_fd < 0) {
                return false;
            }
            struct pollfd p = {m_fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char buf[4096];
            const ssize_t n = read(m_fd, buf, sizeof buf);
            if (n <= 0) {
                return false;
            }
            m_pending.append(buf, static_cast<size_t>(n));
        }
    }

    // Everything left on standard output, up to its end.
    std::string ReadAll() {
        std::string out = m_pending;
        m_pending.clear();
        char buf[65536];
        ssize_t n;
        while (m_fd >= 0 && (n = read(m_fd, buf, sizeof buf)) > 0) {
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }

    // The exit status, or 128 + the signal that ended the child.
    int Wait() {
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    pid_t m_pid = -1;
    int m_fd = -1;
    std::string m_pending;
};

// Sets an environment variable (inherited by the children started meanwhile) and puts the
// previous value back when it goes.
class EnvGuard {
  public:
    EnvGuard(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = getenv(name)) {
            m_old = old;
            m_hadOld = true;
        }
        setenv(name, value.c_str(), 1);
    }
    ~EnvGuard() {
        if (m_hadOld) {
            setenv(m_name.c_str(), m_old.c_str(), 1);
        } else {
            unsetenv(m_name.c_str());
        }
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

  private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the program with its arguments to the end.
inline RunResult RunProgram(const std::vector<std::string>& argv, const std::string& errPath) {
    RunResult result;
    Child child(argv, errPath);
    if (!child.Started()) {
        return result;
    }
    result.out = child.ReadAll();
    result.status = child.Wait();
    result.err = ReadFile(errPath);
    return result;
}

// A column of a table made byte by byte.
struct TestColumn {
    const char* name;
    char type;
    unsigned char width;
    unsigned char decimals;
};

inline void PutLE16(std::string& s, size_t at, unsigned v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

inline void PutLE32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

// A row: the deletion flag, then each cell padded to its column's width (text to the left,
// numbers, dates and logicals to the right). A cell longer than its column is kept whole, which
// TableBytes then refuses.
inline std::string RowBytes(const std::vector<TestColumn>& columns, char flag,
                            const std::vector<std::string>& cells) {
    std::string row(1, flag);
    for (size_t i = 0; i < columns.size(); ++i) {
        const std::string cell = i < cells.size() ? cells[i] : std::string();
        const size_t pad = cell.size() < columns[i].width ? columns[i].width - cell.size() : 0;
        if (columns[i].type == 'C') {
            row += cell + std::string(pad, ' ');
        } else {
            row += std::string(pad, ' ') + cell;
        }
    }
    return row;
}

// A dBASE III table: header (record count = rows), descriptors, 0x0D, the rows as given
// (deletion flag included, each exactly the record length), the 0x1A end byte.
inline std::string TableBytes(const std::vector<TestColumn>& columns,
                              const std::vector<std::string>& rows) {
    unsigned recLen = 1;
    for (const TestColumn& c : columns) {
        recLen += c.width;
    }
    const size_t headerLen = 32 * columns.size() + 33;
    std::string s(headerLen, '\0');
    s[0] = 0x03;
    s[1] = 124;  // 2024-03-09
    s[2] = 3;
    s[3] = 9;
    PutLE32(s, 4, static_cast<uint32_t>(rows.size()));
    PutLE16(s, 8, static_cast<unsigned>(headerLen));
    PutLE16(s, 10, recLen);
    unsigned offset = 1;
    for (size_t i = 0; i < columns.size(); ++i) {
        const size_t d = 32 + 32 * i;
        for (size_t k = 0; columns[i].name[k] != '\0' && k < 10; ++k) {
            s[d + k] = columns[i].name[k];
        }
        s[d + 11] = columns[i].type;
        PutLE32(s, d + 12, offset);
        s[d + 16] = static_cast<char>(columns[i].width);
        s[d + 17] = static_cast<char>(columns[i].decimals);
        offset += columns[i].width;
    }
    s[headerLen - 1] = 0x0D;
    for (const std::string& row : rows) {
        if (row.size() != recLen) {
            throw std::invalid_argument("row of " + std::to_string(row.size()) +
                                        " bytes in a table of record length " +
                                        std::to_string(recLen) + ": '" + row + "'");
        }
        s += row;
    }
    s += '\x1A';
    return s;
}

// Runs the built quorvel tool with these arguments; standard error goes through a file in dir.
inline RunResult RunTool(const ScratchDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), QUORVEL_TOOL_PATH);
    return RunProgram(args, dir.Of("tool-stderr.txt"));
}

}  // namespace qvtool_test

#endif  // QUORVEL_TESTS_TOOLS_TOOLTESTUTIL_H
