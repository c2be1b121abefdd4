// The system and run-time services outside the class library: the user's decimal separator,
// debug output, the multibyte-aware bounded copy and search, and the column-text normaliser.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// glibc's newlocale builds a search list from LOCPATH (with argz_add_sep) on every call and never
// frees it, so the comma-locale tests below leak inside the C library under LeakSanitizer.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:argz_add_sep\n";
}

namespace {

// Saves environment variables and puts them back (or removes them) at the end of the scope.
class EnvScope {
  public:
    explicit EnvScope(std::vector<std::string> names) {
        for (std::string& name : names) {
            const char* pszValue = std::getenv(name.c_str());
            m_saved.push_back({name, pszValue != nullptr, pszValue != nullptr ? pszValue : ""});
        }
    }
    ~EnvScope() {
        for (const Saved& s : m_saved) {
            if (s.bSet) {
                setenv(s.name.c_str(), s.value.c_str(), 1);
            } else {
                unsetenv(s.name.c_str());
            }
        }
    }
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

    // nullptr removes the variable.
    static void Set(const char* pszName, const char* pszValue) {
        if (pszValue != nullptr) {
            setenv(pszName, pszValue, 1);
        } else {
            unsetenv(pszName);
        }
    }

  private:
    struct Saved {
        std::string name;
        bool bSet;
        std::string value;
    };
    std::vector<Saved> m_saved;
};

// Sets one category of the C-runtime locale for a scope and puts the previous one back.
class CLocaleScope {
  public:
    CLocaleScope(int nCategory, const char* pszName)
        : m_nCategory(nCategory), m_strPrevious(std::setlocale(nCategory, nullptr)) {
        m_bApplied = std::setlocale(nCategory, pszName) != nullptr;
    }
    ~CLocaleScope() { std::setlocale(m_nCategory, m_strPrevious.c_str()); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

    bool Applied() const { return m_bApplied; }

  private:
    int m_nCategory;
    std::string m_strPrevious;
    bool m_bApplied = false;
};

std::string Separator() {
    char buf[2] = {'?', '?'};
    int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 2);
    if (n != 2 || buf[1] != '\0') {
        return "<no answer>";
    }
    return std::string(1, buf[0]);
}

TEST(DecimalSeparator, CLocaleGivesPoint) {
    EnvScope env({"LC_ALL", "LC_NUMERIC", "LANG"});
    EnvScope::Set("LC_ALL", "C");
    char buf[2] = {'?', '?'};
    EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 2), 2);
    EXPECT_EQ(buf[0], '.');
    EXPECT_EQ(buf[1], '\0');
}

TEST(DecimalSeparator, NoAnswerLeavesTheBufferUnchanged) {
    EnvScope env({"LC_ALL"});
    EnvScope::Set("LC_ALL", "C");
    struct Case {
        const char* what;
        LCTYPE type;
        int cchData;
    };
    const Case cases[] = {
        {"buffer of one byte", LOCALE_SDECIMAL, 1},
        {"buffer of no bytes", LOCALE_SDECIMAL, 0},
        {"unsupported type (thousands separator)", 0x000F, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char buf[2] = {'?', '?'};
        EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, c.type, buf, c.cchData), 0);
        EXPECT_EQ(buf[0], '?');
        EXPECT_EQ(buf[1], '?');
    }
}

// A German locale (decimal comma) compiled into a private directory and reached through LOCPATH,
// so the test needs neither root nor an installed locale.
class CommaLocaleTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvlocale.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            return;
        }
        s_strDir = pattern;
        const std::string command =
            "localedef -i de_DE -f UTF-8 '" + s_strDir + "/de_DE.UTF-8' >/dev/null 2>&1";
        s_bBuilt = std::system(command.c_str()) == 0;
    }
    static void TearDownTestSuite() {
        if (!s_strDir.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(s_strDir, ec);
            s_strDir.clear();
        }
    }

    void SetUp() override {
        if (!s_bBuilt) {
            GTEST_SKIP() << "could not build the de_DE.UTF-8 locale with localedef (needs the "
                            "locale sources in /usr/share/i18n/locales, Debian package "
                            "'locales')";
        }
        EnvScope::Set("LOCPATH", s_strDir.c_str());
    }

    EnvScope m_env{{"LC_ALL", "LC_NUMERIC", "LANG", "LOCPATH"}};

    static std::string s_strDir;
    static bool s_bBuilt;
};

std::string CommaLocaleTest::s_strDir;
bool CommaLocaleTest::s_bBuilt = false;

TEST_F(CommaLocaleTest, SeparatorFollowsTheEnvironmentInPrecedenceOrder) {
    const char* const kGerman = "de_DE.UTF-8";
    struct Case {
        const char* what;
        const char* pszAll;
        const char* pszNumeric;
        const char* pszLang;
        const char* expected;
    };
    const Case cases[] = {
        {"nothing set", nullptr, nullptr, nullptr, "."},
        {"LANG alone", nullptr, nullptr, kGerman, ","},
        {"LC_NUMERIC over LANG", nullptr, kGerman, "C", ","},
        {"LC_NUMERIC C over German LANG", nullptr, "C", kGerman, "."},
        {"LC_ALL over everything", kGerman, "C", "C", ","},
        {"LC_ALL C over everything", "C", kGerman, kGerman, "."},
        {"empty LC_ALL counts as unset", "", nullptr, kGerman, ","},
        {"locale not installed", "xx_XX.UTF-8", nullptr, nullptr, "."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EnvScope::Set("LC_ALL", c.pszAll);
        EnvScope::Set("LC_NUMERIC", c.pszNumeric);
        EnvScope::Set("LANG", c.pszLang);
        EXPECT_EQ(Separator(), c.expected);
    }
}

TEST_F(CommaLocaleTest, SeparatorIgnoresTheProcessLocale) {
    EnvScope::Set("LC_NUMERIC", nullptr);
    EnvScope::Set("LANG", nullptr);
    {
        EnvScope::Set("LC_ALL", "C");
        CLocaleScope numeric(LC_NUMERIC, "de_DE.UTF-8");
        ASSERT_TRUE(numeric.Applied()) << "setlocale did not find the locale under LOCPATH";
        EXPECT_EQ(Separator(), ".");
    }
    {
        EnvScope::Set("LC_ALL", "de_DE.UTF-8");
        CLocaleScope numeric(LC_NUMERIC, "C");
        EXPECT_EQ(Separator(), ",");
    }
}

struct CapturedLines {
    std::vector<std::string> lines;
};

void CaptureLine(LPCSTR lpText, void* pContext) {
    static_cast<CapturedLines*>(pContext)->lines.push_back(lpText);
}

TEST(DebugOutput, GoesToTheInstalledSink) {
    CapturedLines captured;
    void* pPreviousContext = nullptr;
    QUORVEL_DEBUG_SINK pfnPrevious = QuorvelSetDebugSink(CaptureLine, &captured, &pPreviousContext);
    OutputDebugStringA("ReadRecord: file not found\n");
    OutputDebugStringA("second line");
    void* pOurContext = nullptr;
    EXPECT_EQ(QuorvelSetDebugSink(pfnPrevious, pPreviousContext, &pOurContext), CaptureLine);
    EXPECT_EQ(pOurContext, &captured);

    ASSERT_EQ(captured.lines.size(), 2u);
    EXPECT_EQ(captured.lines[0], "ReadRecord: file not found\n");
    EXPECT_EQ(captured.lines[1], "second line");
}

TEST(DebugOutput, WithoutSinkGoesToStandardError) {
    QUORVEL_DEBUG_SINK pfnPrevious = QuorvelSetDebugSink(nullptr, nullptr);
    const std::string path =
        (std::filesystem::temp_directory_path() / ("qvdebug." + std::to_string(getpid()))).string();
    std::fflush(stderr);
    const int nSavedErr = dup(STDERR_FILENO);
    const int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_GE(nSavedErr, 0);
    dup2(fd, STDERR_FILENO);
    close(fd);
    OutputDebugStringA("to standard error\n");
    std::fflush(stderr);
    dup2(nSavedErr, STDERR_FILENO);
    close(nSavedErr);
    QuorvelSetDebugSink(pfnPrevious, nullptr);

    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    EXPECT_EQ(text, "to standard error\n");
}

// Copies src with QvMbsnbcpy into a target of count bytes followed by guard bytes, and returns
// the whole target including the guard, so the cases see both the fill and any overrun.
std::string CopyInto(const char* src, size_t count) {
    unsigned char dst[32];
    std::memset(dst, '#', sizeof dst);
    unsigned char* pResult = QvMbsnbcpy(dst, reinterpret_cast<const unsigned char*>(src), count);
    EXPECT_EQ(pResult, dst);
    return std::string(reinterpret_cast<char*>(dst), count + 2);
}

struct CopyCase {
    const char* what;
    const char* src;
    size_t count;
    std::string expected;  // count bytes, then the two untouched guard bytes
};

void RunCopyCases(const std::vector<CopyCase>& cases) {
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CopyInto(c.src, c.count), c.expected);
    }
}

TEST(BoundedCopy, SingleByteTextIsCopiedByteForByte) {
    CLocaleScope ctype(LC_CTYPE, "C");
    using namespace std::string_literals;
    RunCopyCases({
        {"short text is zero filled", "ABC", 6, "ABC\0\0\0##"s},
        {"exact fit is not terminated", "ABCD", 4, "ABCD##"s},
        {"long text is cut without terminator", "ABCDEFGH", 5, "ABCDE##"s},
        {"empty text fills with zeros", "", 3, "\0\0\0##"s},
        {"nothing to copy", "ABC", 0, "##"s},
        {"high bytes are plain bytes", "\xC3\xA4\xC3\xA4", 3, "\xC3\xA4\xC3##"s},
    });
}

TEST(BoundedCopy, CutInsideAMultibyteCharacterDropsIt) {
    CLocaleScope ctype(LC_CTYPE, "C.UTF-8");
    if (!ctype.Applied()) {
        GTEST_SKIP() << "the C.UTF-8 locale is not available";
    }
    using namespace std::string_literals;
    // "a", U+00E4 (2 bytes), "b"; and U+20AC (3 bytes) twice.
    RunCopyCases({
        {"cut after a whole character",
         "a\xC3\xA4"
         "b",
         3, "a\xC3\xA4##"s},
        {"cut inside a two-byte character",
         "a\xC3\xA4"
         "b",
         2, "a\0##"s},
        {"cut inside the second three-byte character", "\xE2\x82\xAC\xE2\x82\xAC", 5,
         "\xE2\x82\xAC\0\0##"s},
        {"cut after the first byte", "\xE2\x82\xAC", 1, "\0##"s},
        {"whole text shorter than the target", "\xE2\x82\xAC", 5, "\xE2\x82\xAC\0\0##"s},
        {"ASCII is unaffected", "ABCDEFGH", 5, "ABCDE##"s},
    });
}

TEST(MultibyteSearch, FindsCharactersAndOnlyWholeOnes) {
    const unsigned char text[] = "a\xC3\xA4.b";  // "a", U+00E4, ".", "b"
    struct Case {
        const char* what;
        unsigned int ch;
        const unsigned char* expected;
    };
    {
        CLocaleScope ctype(LC_CTYPE, "C");
        const Case cases[] = {
            {"first byte", 'a', text},
            {"after high bytes", '.', text + 3},
            {"last", 'b', text + 4},
            {"absent", 'z', nullptr},
            {"a high byte is a character in a single-byte locale", 0xA4, text + 2},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            EXPECT_EQ(QvMbschr(text, c.ch), c.expected);
        }
    }
    CLocaleScope ctype(LC_CTYPE, "C.UTF-8");
    if (!ctype.Applied()) {
        GTEST_SKIP() << "the C.UTF-8 locale is not available";
    }
    const Case cases[] = {
        {"ASCII after a multibyte character", '.', text + 3},
        {"absent", 'z', nullptr},
        {"byte inside a character never matches", 0xA4, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(QvMbschr(text, c.ch), c.expected);
    }
}

TEST(NormalizeFieldText, RemovesTrailingBlanksOnly) {
    struct Case {
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"TANK01    ", "TANK01"},
        {"  LEVEL HIGH  ", "  LEVEL HIGH"},
        {"A B", "A B"},
        {"     ", ""},
        {"", ""},
        {"12.50", "12.50"},
        {"tab\t ", "tab\t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.input << "'");
        // The text sits in a buffer with a guard after its NUL: normalising must not grow it.
        char buf[32];
        std::memset(buf, '#', sizeof buf);
        const size_t len = std::strlen(c.input);
        std::memcpy(buf, c.input, len + 1);
        NormalizeFieldText(buf);
        EXPECT_STREQ(buf, c.expected);
        EXPECT_EQ(buf[len + 1], '#');
    }
}

}  // namespace
