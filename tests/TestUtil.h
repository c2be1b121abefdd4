// Helpers shared by the test suites: a per-test temporary directory, whole-file reads and
// writes, and a guard that restores an environment variable. Header-only; nothing here knows
// about the library.
#ifndef QUORVEL_TESTS_TESTUTIL_H
#define QUORVEL_TESTS_TESTUTIL_H

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace qvtest {

using Bytes = std::vector<unsigned char>;

// A fresh directory under /tmp, removed with its contents when the object goes. Path() is empty
// when mkdtemp failed.
class TempDir {
  public:
    explicit TempDir(const char* pszPrefix = "qvtest") {
        std::string pattern = std::string("/tmp/") + pszPrefix + ".XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            m_strPath = pattern;
        }
    }
    ~TempDir() {
        if (!m_strPath.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(m_strPath, ec);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string PathOf(const std::string& name) const { return m_strPath + "/" + name; }

  private:
    std::string m_strPath;
};

// The whole file, or an empty vector when it cannot be read.
inline Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file's contents with bytes; false when the file cannot be written.
inline bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// Sets (or, with null, unsets) an environment variable for the guard's lifetime and puts the
// previous value back afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* pszName, const char* pszValue) : m_strName(pszName) {
        if (const char* old = getenv(pszName)) {
            m_old = std::string(old);
        }
        if (pszValue != nullptr) {
            setenv(pszName, pszValue, 1);
        } else {
            unsetenv(pszName);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            setenv(m_strName.c_str(), m_old->c_str(), 1);
        } else {
            unsetenv(m_strName.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string m_strName;
    std::optional<std::string> m_old;
};

}  // namespace qvtest

#endif  // QUORVEL_TESTS_TESTUTIL_H
