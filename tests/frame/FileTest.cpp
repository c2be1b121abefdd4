// CFile and CFileException: the file contract the table engine leans on. Open reports failure
// without raising; every other operation raises CFileException* with a cause mapped from errno.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "TestUtil.h"

namespace {

using qvtest::TempDir;

class FileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()) << "mkdtemp failed"; }

    std::string PathOf(const char* pszName) const { return m_dir.Path() + "/" + pszName; }

    // Creates a file with the given bytes, independently of CFile.
    std::string MakeFile(const char* pszName, const std::string& bytes) const {
        std::string path = PathOf(pszName);
        std::ofstream out(path, std::ios::binary);
        out << bytes;
        return path;
    }

    TempDir m_dir{"qvframe"};
};

// Runs op, which must raise a CFileException; returns its cause and releases it (-1 when nothing
// or something else was raised).
template <typename Op>
int CauseRaisedBy(Op op, LONG* plOsError = nullptr) {
    try {
        op();
    } catch (CFileException* e) {
        int cause = e->m_cause;
        if (plOsError != nullptr) {
            *plOsError = e->m_lOsError;
        }
        e->Delete();
        return cause;
    } catch (CException* e) {
        e->Delete();
    }
    return -1;
}

TEST_F(FileTest, OpenFailureLeavesTheCauseAndRaisesNothing) {
    const std::string plain = MakeFile("plain.dbf", "x");
    struct Case {
        const char* what;
        std::string path;
        UINT nFlags;
        int cause;
        LONG lOsError;
    };
    const Case cases[] = {
        {"missing file", PathOf("missing.dbf"), 0x8040, CFileException::fileNotFound, ENOENT},
        {"missing file for writing", PathOf("missing.dbf"), 0x8042, CFileException::fileNotFound,
         ENOENT},
        {"path through a file", plain + "/child.dbf", 0x8040, CFileException::badPath, ENOTDIR},
        {"directory for reading", m_dir.Path(), 0x8040, CFileException::accessDenied, EISDIR},
        {"directory for writing", m_dir.Path(), 0x8042, CFileException::accessDenied, EISDIR},
        {"empty path", "", 0x8040, CFileException::fileNotFound, ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFile file;
        CFileException error(CFileException::none);
        BOOL bOpened = TRUE;
        EXPECT_NO_THROW(bOpened = file.Open(c.path.c_str(), c.nFlags, &error));
        EXPECT_FALSE(bOpened);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(error.m_cause, c.cause);
        EXPECT_EQ(error.m_lOsError, c.lOsError);
        EXPECT_EQ(error.m_strFileName, CString(c.path.c_str()));
        // Without an exception object the failure is only the result.
        EXPECT_NO_THROW(bOpened = file.Open(c.path.c_str(), c.nFlags));
        EXPECT_FALSE(bOpened);
    }
}

TEST_F(FileTest, CreatedFileIsReadBackAndCanBeReopened) {
    const std::string path = PathOf("table.dbf");
    CFile file;
    ASSERT_TRUE(
        file.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite | CFile::typeBinary));
    EXPECT_EQ(file.GetFilePath(), CString(path.c_str()));
    file.Write("\x03HEADER", 7);
    EXPECT_EQ(file.GetPosition(), 7u);
    EXPECT_EQ(file.GetLength(), 7u);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    file.Close();  // a second close does nothing

    ASSERT_TRUE(file.Open(path.c_str(), 0x8042));
    EXPECT_EQ(file.GetPosition(), 0u);
    char buf[8] = {};
    EXPECT_EQ(file.Read(buf, 7), 7u);
    EXPECT_EQ(std::string(buf, 7), std::string("\x03HEADER", 7));
    // Open on an object that is open closes the first file and starts at position 0.
    const std::string other = MakeFile("other.dbf", "OTHER");
    ASSERT_TRUE(file.Open(other.c_str(), 0x8040));
    EXPECT_EQ(file.Read(buf, 5), 5u);
    EXPECT_EQ(std::string(buf, 5), "OTHER");
}

TEST_F(FileTest, ReadReturnsFewerBytesAtEndOfFile) {
    const std::string path = MakeFile("rows.dbf", "0123456789");
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), 0x8040));
    char buf[8] = {};
    EXPECT_EQ(file.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(file.Seek(8, CFile::begin), 8u);
    EXPECT_EQ(file.Read(buf, 4), 2u);
    EXPECT_EQ(std::string(buf, 2), "89");
    EXPECT_EQ(file.GetPosition(), 10u);
    EXPECT_EQ(file.Read(buf, 4), 0u);
}

TEST_F(FileTest, SeekReturnsTheNewPosition) {
    const std::string path = MakeFile("seek.dbf", "0123456789");
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), 0x8040));
    struct Case {
        LONGLONG lOff;
        UINT nFrom;
        ULONGLONG expected;
    };
    const Case cases[] = {
        {4, CFile::begin, 4}, {3, CFile::current, 7}, {-2, CFile::current, 5},
        {-1, CFile::end, 9},  {0, CFile::begin, 0},   {100, CFile::begin, 100},  // past the end
        {0, CFile::end, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lOff << " from " << c.nFrom);
        EXPECT_EQ(file.Seek(c.lOff, c.nFrom), c.expected);
        EXPECT_EQ(file.GetPosition(), c.expected);
    }
    file.Seek(100, CFile::begin);
    char buf[4];
    EXPECT_EQ(file.Read(buf, sizeof buf), 0u);
}

TEST_F(FileTest, NegativePositionRaisesBadSeekAndKeepsThePosition) {
    const std::string path = MakeFile("seek.dbf", "0123456789");
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), 0x8040));
    file.Seek(6, CFile::begin);
    EXPECT_EQ(CauseRaisedBy([&] { file.Seek(-1, CFile::begin); }), CFileException::badSeek);
    EXPECT_EQ(CauseRaisedBy([&] { file.Seek(-7, CFile::current); }), CFileException::badSeek);
    EXPECT_EQ(CauseRaisedBy([&] { file.Seek(-11, CFile::end); }), CFileException::badSeek);
    EXPECT_EQ(file.GetPosition(), 6u);
}

TEST_F(FileTest, OperationsOnAClosedFileRaise) {
    const std::string path = MakeFile("closed.dbf", "data");
    CFile neverOpened;
    CFile closed;
    ASSERT_TRUE(closed.Open(path.c_str(), 0x8040));
    closed.Close();
    for (CFile* pFile : {&neverOpened, &closed}) {
        char buf[4];
        // Caught by pointer as the engine catches it, then released.
        bool bRaised = false;
        try {
            pFile->Read(buf, sizeof buf);
        } catch (CFileException* e) {
            bRaised = true;
            EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CException)));
            EXPECT_EQ(e->m_cause, CFileException::invalidFile);
            e->Delete();
        }
        EXPECT_TRUE(bRaised);
        EXPECT_EQ(CauseRaisedBy([&] { pFile->Write("x", 1); }), CFileException::invalidFile);
        EXPECT_EQ(CauseRaisedBy([&] { pFile->Seek(0, CFile::begin); }),
                  CFileException::invalidFile);
        CFileStatus status;
        EXPECT_FALSE(pFile->GetStatus(status));
    }
}

// A file whose disk fills up after a given number of writes: the fault arrives through the same
// errno mapping as a real ENOSPC.
class DiskFullFile : public CFile {
  public:
    explicit DiskFullFile(int nWritesAllowed) : m_nWritesAllowed(nWritesAllowed) {}

    void Write(const void* lpBuf, UINT nCount) override {
        if (m_nWritesAllowed-- <= 0) {
            CFileException::ThrowOsError(ENOSPC, m_strFileName);
        }
        CFile::Write(lpBuf, nCount);
    }

  private:
    int m_nWritesAllowed;
};

TEST_F(FileTest, WriteWithoutSpaceRaisesDiskFull) {
    const std::string path = PathOf("full.dbf");
    DiskFullFile file(1);
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite));
    CFile& base = file;  // the engine writes through its own CFile operations
    base.Write("0123", 4);
    CFileException* pCaught = nullptr;
    try {
        base.Write("4567", 4);
    } catch (CFileException* e) {
        pCaught = e;
    }
    ASSERT_NE(pCaught, nullptr);
    EXPECT_EQ(pCaught->m_cause, CFileException::diskFull);
    EXPECT_EQ(pCaught->m_lOsError, ENOSPC);
    EXPECT_EQ(pCaught->m_strFileName, CString(path.c_str()));
    pCaught->Delete();

    EXPECT_EQ(file.GetPosition(), 4u);
    EXPECT_EQ(file.GetLength(), 4u);
    EXPECT_NO_THROW(file.Close());
}

TEST(FileException, OsErrorsMapToCauses) {
    struct Case {
        LONG lOsError;
        int cause;
    };
    const Case cases[] = {
        {0, CFileException::none},
        {ENOENT, CFileException::fileNotFound},
        {ENOTDIR, CFileException::badPath},
        {EACCES, CFileException::accessDenied},
        {EPERM, CFileException::accessDenied},
        {EROFS, CFileException::accessDenied},
        {EISDIR, CFileException::accessDenied},
        {ENOSPC, CFileException::diskFull},
        {EDQUOT, CFileException::diskFull},
        {EFBIG, CFileException::diskFull},
        {EMFILE, CFileException::tooManyOpenFiles},
        {EBADF, CFileException::invalidFile},
        {EIO, CFileException::hardIO},
        {-1, CFileException::genericException},
        {EAGAIN, CFileException::genericException},
        {99999, CFileException::genericException},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "errno " << c.lOsError << " ("
                                        << std::strerror(static_cast<int>(c.lOsError)) << ")");
        EXPECT_EQ(CFileException::OsErrorToException(c.lOsError), c.cause);
    }
}

TEST(FileException, ThrowsCarryCauseErrnoAndName) {
    LONG lOsError = 0;
    EXPECT_EQ(
        CauseRaisedBy([] { CFileException::ThrowOsError(EACCES, "/logs/alarm.dbf"); }, &lOsError),
        CFileException::accessDenied);
    EXPECT_EQ(lOsError, EACCES);

    try {
        AfxThrowFileException(CFileException::diskFull);
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::diskFull);
        EXPECT_EQ(e->m_lOsError, -1);
        EXPECT_TRUE(e->m_strFileName.IsEmpty());
        e->Delete();
    }
}

TEST(FileException, MessageNamesFileAndCause) {
    CFileException error(CFileException::fileNotFound, ENOENT, "/logs/alarm.dbf");
    char message[128];
    UINT nHelp = 99;
    EXPECT_TRUE(error.GetErrorMessage(message, sizeof message, &nHelp));
    EXPECT_STREQ(message, "/logs/alarm.dbf: file not found");
    EXPECT_EQ(nHelp, 0u);

    char tiny[6];
    EXPECT_TRUE(error.GetErrorMessage(tiny, sizeof tiny));
    EXPECT_STREQ(tiny, "/logs");

    CFileException unnamed(CFileException::diskFull);
    EXPECT_TRUE(unnamed.GetErrorMessage(message, sizeof message));
    EXPECT_STREQ(message, "disk full");
}

TEST_F(FileTest, StatusReportsSizeAndFullPath) {
    const std::string path = MakeFile("status.dbf", std::string(1234, 'r'));
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), 0x8040));
    CFileStatus status;
    ASSERT_TRUE(file.GetStatus(status));
    EXPECT_EQ(status.m_size, 1234u);
    EXPECT_EQ(status.m_attribute & CFile::directory, 0);

    // The static form resolves the path.
    const std::string indirect = m_dir.Path() + "/./status.dbf";
    CFileStatus byPath;
    ASSERT_TRUE(CFile::GetStatus(indirect.c_str(), byPath));
    EXPECT_EQ(byPath.m_size, 1234u);
    EXPECT_EQ(std::string(byPath.m_szFullName), std::filesystem::canonical(path).string());

    CFileStatus ofDir;
    ASSERT_TRUE(CFile::GetStatus(m_dir.Path().c_str(), ofDir));
    EXPECT_NE(ofDir.m_attribute & CFile::directory, 0);

    CFileStatus missing;
    EXPECT_FALSE(CFile::GetStatus(PathOf("missing.dbf").c_str(), missing));
}

TEST_F(FileTest, ReadOnlyAttributeIsTheWritePermission) {
    const std::string path = MakeFile("ro.dbf", "x");
    ASSERT_EQ(chmod(path.c_str(), 0664), 0);
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(path.c_str(), status));
    EXPECT_EQ(status.m_attribute & CFile::readOnly, 0);

    // Checked on the mode bits: the tests may run as root, who can write regardless.
    status.m_attribute |= CFile::readOnly;
    CFile::SetStatus(path.c_str(), status);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    CFileStatus reread;
    ASSERT_TRUE(CFile::GetStatus(path.c_str(), reread));
    EXPECT_NE(reread.m_attribute & CFile::readOnly, 0);

    reread.m_attribute &= static_cast<BYTE>(~CFile::readOnly);
    CFile::SetStatus(path.c_str(), reread);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "clearing gives the owner the write bit back";
    ASSERT_TRUE(CFile::GetStatus(path.c_str(), reread));
    EXPECT_EQ(reread.m_attribute & CFile::readOnly, 0);
    EXPECT_EQ(reread.m_size, 1u) << "size is not changed";
}

// hidden, system and archive live in a user extended attribute, which not every file system has.
class FileAttributeTest : public FileTest {
  protected:
    void SetUp() override {
        FileTest::SetUp();
        m_strPath = MakeFile("attr.dbf", "x");
        const char probe = 1;
        if (setxattr(m_strPath.c_str(), "user.quorvel.probe", &probe, 1, 0) != 0) {
            if (errno == ENOTSUP) {
                GTEST_SKIP() << "the temporary directory's file system has no user extended "
                                "attributes, so hidden/system/archive cannot be kept";
            }
            FAIL() << "setxattr: " << std::strerror(errno);
        }
        removexattr(m_strPath.c_str(), "user.quorvel.probe");
    }

    BYTE Attributes() const {
        CFileStatus status;
        EXPECT_TRUE(CFile::GetStatus(m_strPath.c_str(), status));
        return status.m_attribute;
    }

    void SetAttributes(BYTE attributes) const {
        CFileStatus status;
        ASSERT_TRUE(CFile::GetStatus(m_strPath.c_str(), status));
        status.m_attribute = attributes;
        CFile::SetStatus(m_strPath.c_str(), status);
    }

    std::string m_strPath;
};

TEST_F(FileAttributeTest, HiddenSystemAndArchiveRoundTrip) {
    EXPECT_EQ(Attributes(), 0);
    const BYTE cases[] = {
        CFile::hidden,
        CFile::archive,
        static_cast<BYTE>(CFile::hidden | CFile::archive),
        static_cast<BYTE>(CFile::hidden | CFile::system | CFile::archive),
        static_cast<BYTE>(CFile::readOnly | CFile::hidden),
        CFile::normal,
    };
    for (BYTE attributes : cases) {
        SCOPED_TRACE(testing::Message() << "attributes 0x" << std::hex << int{attributes});
        SetAttributes(attributes);
        EXPECT_EQ(Attributes(), attributes);
    }
    // The open file reports the same bits.
    SetAttributes(CFile::archive);
    CFile file;
    ASSERT_TRUE(file.Open(m_strPath.c_str(), 0x8040));
    CFileStatus status;
    ASSERT_TRUE(file.GetStatus(status));
    EXPECT_EQ(status.m_attribute, CFile::archive);
}

// Sets the attribute bits of path as its owner without privileges (giving the directory and the
// file to nobody and dropping root first when running as root). Meant for a child process: returns
// its exit code, 0 when SetStatus succeeded.
int SetAttributesAsOwner(const std::string& dir, const std::string& path, BYTE attributes) {
    if (geteuid() == 0) {
        const uid_t nobody = 65534;
        if (chown(dir.c_str(), nobody, nobody) != 0 || chown(path.c_str(), nobody, nobody) != 0 ||
            setgid(nobody) != 0 || setuid(nobody) != 0) {
            std::fprintf(stderr, "cannot drop privileges: %s\n", std::strerror(errno));
            return 2;
        }
    }
    CFileStatus status;
    if (!CFile::GetStatus(path.c_str(), status)) {
        return 3;
    }
    status.m_attribute = attributes;
    try {
        CFile::SetStatus(path.c_str(), status);
    } catch (CFileException* e) {
        std::fprintf(stderr, "SetStatus raised cause %d, errno %d\n", e->m_cause,
                     static_cast<int>(e->m_lOsError));
        e->Delete();
        return 1;
    }
    return 0;
}

// A user extended attribute can only be written while the file is writable, so for an owner
// without privileges the order of the two changes matters, both ways.
TEST_F(FileAttributeTest, ReadOnlyWithHiddenWorksForAnUnprivilegedOwner) {
    const BYTE readOnlyHidden = CFile::readOnly | CFile::hidden;
    EXPECT_EXIT(std::_Exit(SetAttributesAsOwner(m_dir.Path(), m_strPath, readOnlyHidden)),
                testing::ExitedWithCode(0), "");
    EXPECT_EQ(Attributes(), readOnlyHidden);
    struct stat st;
    ASSERT_EQ(stat(m_strPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);

    EXPECT_EXIT(std::_Exit(SetAttributesAsOwner(m_dir.Path(), m_strPath, CFile::normal)),
                testing::ExitedWithCode(0), "");
    EXPECT_EQ(Attributes(), CFile::normal);
}

TEST_F(FileTest, RemoveDeletesTheFile) {
    const std::string path = MakeFile("gone.dbf", "x");
    CFile::Remove(path.c_str());
    struct stat st;
    EXPECT_NE(stat(path.c_str(), &st), 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(CauseRaisedBy([&] { CFile::Remove(path.c_str()); }), CFileException::fileNotFound);
}

}  // namespace
