// Run-time class records, IsKindOf, CObArray ownership and the allocation hook: the parts of the
// object model that the table engine's classes derive from and that hosts test objects with.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A host-side class with its own run-time class record, as the engine's classes declare theirs.
class HostTable : public CFile {
    DECLARE_DYNAMIC(HostTable)
};
IMPLEMENT_DYNAMIC(HostTable, CFile)

// Counts its destructions, so that a test sees whether a container deleted it.
class Counted : public CObject {
  public:
    explicit Counted(int* pDestroyed) : m_pDestroyed(pDestroyed) {}
    ~Counted() override { ++*m_pDestroyed; }

  private:
    int* m_pDestroyed;
};

TEST(RuntimeClass, RecordsCarryNameSizeSchemaAndBaseLink) {
    struct Case {
        const CRuntimeClass* pClass;
        const char* name;
        size_t size;
        const CRuntimeClass* pBase;
    };
    const Case cases[] = {
        {RUNTIME_CLASS(CObject), "CObject", sizeof(CObject), nullptr},
        {RUNTIME_CLASS(CException), "CException", sizeof(CException), RUNTIME_CLASS(CObject)},
        {RUNTIME_CLASS(CFileException), "CFileException", sizeof(CFileException),
         RUNTIME_CLASS(CException)},
        {RUNTIME_CLASS(CMemoryException), "CMemoryException", sizeof(CMemoryException),
         RUNTIME_CLASS(CException)},
        {RUNTIME_CLASS(CFile), "CFile", sizeof(CFile), RUNTIME_CLASS(CObject)},
        {RUNTIME_CLASS(CObArray), "CObArray", sizeof(CObArray), RUNTIME_CLASS(CObject)},
        {RUNTIME_CLASS(CDynLinkLibrary), "CDynLinkLibrary", sizeof(CDynLinkLibrary),
         RUNTIME_CLASS(CObject)},
        {RUNTIME_CLASS(HostTable), "HostTable", sizeof(HostTable), RUNTIME_CLASS(CFile)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(c.pClass->m_lpszClassName, c.name);
        EXPECT_EQ(c.pClass->m_nObjectSize, static_cast<int>(c.size));
        EXPECT_EQ(c.pClass->m_wSchema, 0xFFFFu);  // not serialisable
        EXPECT_EQ(c.pClass->m_pfnCreateObject, nullptr);
        EXPECT_EQ(c.pClass->m_pBaseClass, c.pBase);
    }
}

TEST(RuntimeClass, IsKindOfFollowsTheBaseLinks) {
    CFileException fileError(CFileException::diskFull);
    HostTable table;
    struct Case {
        const char* what;
        const CObject* pObject;
        const CRuntimeClass* pClass;
        bool expected;
    };
    const Case cases[] = {
        {"file error is a file error", &fileError, RUNTIME_CLASS(CFileException), true},
        {"file error is an exception", &fileError, RUNTIME_CLASS(CException), true},
        {"file error is an object", &fileError, RUNTIME_CLASS(CObject), true},
        {"file error is no file", &fileError, RUNTIME_CLASS(CFile), false},
        {"file error is no memory error", &fileError, RUNTIME_CLASS(CMemoryException), false},
        {"host class is a file", &table, RUNTIME_CLASS(CFile), true},
        {"host class is an object", &table, RUNTIME_CLASS(CObject), true},
        {"host class is no exception", &table, RUNTIME_CLASS(CException), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.pObject->IsKindOf(c.pClass) != FALSE, c.expected);
    }
    // Through a base pointer the object still reports its own class.
    const CObject* pObject = &fileError;
    EXPECT_EQ(pObject->GetRuntimeClass(), RUNTIME_CLASS(CFileException));
}

TEST(ObArray, SetAtGrowFillsWithNullsAndNeverDeletes) {
    int destroyed = 0;
    Counted first(&destroyed);
    Counted second(&destroyed);
    {
        CObArray array;
        EXPECT_EQ(array.GetSize(), 0);
        array.SetAtGrow(3, &first);
        ASSERT_EQ(array.GetSize(), 4);
        EXPECT_EQ(array.GetUpperBound(), 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(array.GetAt(i), nullptr) << "index " << i;
        }
        EXPECT_EQ(array.GetAt(3), &first);

        // Replacing an element and storing below the size neither grows nor deletes.
        array.SetAtGrow(3, &second);
        array.SetAtGrow(1, &first);
        EXPECT_EQ(array.GetSize(), 4);
        EXPECT_EQ(array.GetAt(1), &first);
        EXPECT_EQ(array.GetAt(3), &second);
        EXPECT_EQ(array.Add(&first), 4);
        EXPECT_EQ(destroyed, 0);

        array.SetSize(0, -1);
        EXPECT_EQ(array.GetSize(), 0);
        EXPECT_EQ(destroyed, 0);
        array.Add(&second);
    }
    EXPECT_EQ(destroyed, 0) << "the array's destructor deleted an element";
}

TEST(ObArray, NegativeIndexRaisesMemoryException) {
    CObArray array;
    bool raised = false;
    try {
        array.SetAtGrow(-1, nullptr);
    } catch (CMemoryException* e) {
        raised = true;
        e->Delete();
    }
    EXPECT_TRUE(raised);
    EXPECT_EQ(array.GetSize(), 0);
}

// Installs an allocation hook for one scope and puts the previous one back.
class AllocHookScope {
  public:
    explicit AllocHookScope(AFX_ALLOC_HOOK pfnHook) : m_pfnPrevious(AfxSetAllocHook(pfnHook)) {}
    ~AllocHookScope() { AfxSetAllocHook(m_pfnPrevious); }
    AllocHookScope(const AllocHookScope&) = delete;
    AllocHookScope& operator=(const AllocHookScope&) = delete;

  private:
    AFX_ALLOC_HOOK m_pfnPrevious;
};

struct RefusedRequest {
    size_t nSize = 0;
    BOOL bObject = -1;
};
RefusedRequest g_lastRefused;

BOOL RefuseEverything(size_t nSize, BOOL bObject, LONG /*lRequestNumber*/) {
    g_lastRefused.nSize = nSize;
    g_lastRefused.bObject = bObject;
    return FALSE;
}

BOOL AllowEverything(size_t, BOOL, LONG) {
    return TRUE;
}

TEST(AllocHook, RefusedObjectAllocationRaisesMemoryException) {
    AllocHookScope scope(RefuseEverything);
    int destroyed = 0;
    g_lastRefused = RefusedRequest();
    Counted* pObject = nullptr;
    CException* pCaught = nullptr;
    try {
        pObject = new Counted(&destroyed);
    } catch (CException* e) {
        pCaught = e;
    }
    EXPECT_EQ(pObject, nullptr);
    ASSERT_NE(pCaught, nullptr);
    EXPECT_TRUE(pCaught->IsKindOf(RUNTIME_CLASS(CMemoryException)));
    EXPECT_EQ(g_lastRefused.nSize, sizeof(Counted));
    EXPECT_EQ(g_lastRefused.bObject, TRUE);
    char message[64] = {};
    EXPECT_TRUE(pCaught->GetErrorMessage(message, sizeof message));
    EXPECT_STREQ(message, "out of memory");
    pCaught->Delete();

    // Raising needs no memory: the exception is a static object that Delete() keeps, so a second
    // failure raises the same object, still intact.
    try {
        pObject = new Counted(&destroyed);
    } catch (CMemoryException* e) {
        EXPECT_EQ(e, pCaught);
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CMemoryException)));
        e->Delete();
    }
    EXPECT_EQ(pObject, nullptr);
    EXPECT_EQ(destroyed, 0);
}

TEST(AllocHook, RefusedByteAllocationRaisesMemoryException) {
    AllocHookScope scope(RefuseEverything);
    g_lastRefused = RefusedRequest();
    bool raised = false;
    try {
        AfxFreeBytes(AfxNewBytes(512));
    } catch (CMemoryException* e) {
        raised = true;
        e->Delete();
    }
    EXPECT_TRUE(raised);
    EXPECT_EQ(g_lastRefused.nSize, 512u);
    EXPECT_EQ(g_lastRefused.bObject, FALSE);
}

TEST(AllocHook, ReturnsThePreviousHookAndAllowingHookLetsAllocationsThrough) {
    AFX_ALLOC_HOOK pfnBefore = AfxSetAllocHook(AllowEverything);
    EXPECT_EQ(AfxSetAllocHook(RefuseEverything), AllowEverything);
    EXPECT_EQ(AfxSetAllocHook(AllowEverything), RefuseEverything);

    int destroyed = 0;
    Counted* pObject = new Counted(&destroyed);
    delete pObject;
    EXPECT_EQ(destroyed, 1);
    BYTE* pBytes = AfxNewBytes(16);
    std::memset(pBytes, 0xAB, 16);
    AfxFreeBytes(pBytes);

    EXPECT_EQ(AfxSetAllocHook(pfnBefore), AllowEverything);
}

}  // namespace
