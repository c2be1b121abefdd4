// The library's registration with the module state and the resource-handle guard, as a host
// sees them: the chain of extension libraries, InitQuorvelDLL and QuorvelResHandle.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

HINSTANCE FakeHandle(uintptr_t nValue) {
    return reinterpret_cast<HINSTANCE>(nValue);
}

const HINSTANCE kHostHandle = FakeHandle(0x10000);
const HINSTANCE kOtherHandle = FakeHandle(0x20000);
const HINSTANCE kThirdHandle = FakeHandle(0x30000);

AFX_MODULE_STATE* State() {
    return AfxGetModuleState();
}

HINSTANCE CurrentResourceHandle() {
    return State()->m_hCurrentResourceHandle;
}

// The library's resource module, read through a short-lived guard (which restores on exit).
HINSTANCE LibraryResourceHandle() {
    QuorvelResHandle probe;
    return probe.GetResourceHandle();
}

std::vector<HINSTANCE> ChainModules() {
    std::vector<HINSTANCE> modules;
    for (const CDynLinkLibrary* p = State()->m_pFirstDLL; p != nullptr; p = p->m_pNextDLL) {
        modules.push_back(p->m_hModule);
    }
    return modules;
}

int EntriesOf(const std::vector<HINSTANCE>& modules, HINSTANCE hModule) {
    int n = 0;
    for (HINSTANCE h : modules) {
        n += h == hModule ? 1 : 0;
    }
    return n;
}

int EntriesOf(HINSTANCE hModule) {
    return EntriesOf(ChainModules(), hModule);
}

// What the library's loading left behind, taken before main and so before any test calls
// InitQuorvelDLL (even when all tests run in one process).
struct AtLoad {
    std::vector<HINSTANCE> chain = ChainModules();
    HINSTANCE hLibraryResource = LibraryResourceHandle();
};
const AtLoad g_atLoad;

TEST(LibraryLoad, RegistersOneEntryAndSetsTheResourceModule) {
    const std::vector<HINSTANCE> before = ChainModules();
    const HINSTANCE hLibrary = InitQuorvelDLL();
    ASSERT_NE(hLibrary, nullptr);
    EXPECT_EQ(EntriesOf(g_atLoad.chain, hLibrary), 1);
    EXPECT_EQ(g_atLoad.hLibraryResource, hLibrary);
    // This test registered once more; the chain owns that entry, so there is nothing to undo.
    EXPECT_EQ(EntriesOf(hLibrary), EntriesOf(before, hLibrary) + 1);
}

// Each test puts the current resource handle and the library's resource module back.
class ResourceHandleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_hSavedCurrent = CurrentResourceHandle();
        m_hSavedLibrary = LibraryResourceHandle();
        State()->m_hCurrentResourceHandle = kHostHandle;
    }
    void TearDown() override {
        QuorvelResHandle::SetResourceHandle(m_hSavedLibrary);
        State()->m_hCurrentResourceHandle = m_hSavedCurrent;
    }

    HINSTANCE m_hSavedCurrent = nullptr;
    HINSTANCE m_hSavedLibrary = nullptr;
};

TEST_F(ResourceHandleTest, GuardInstallsTheLibraryModuleForItsLife) {
    QuorvelResHandle::SetResourceHandle(kOtherHandle);
    {
        QuorvelResHandle guard;
        EXPECT_EQ(CurrentResourceHandle(), kOtherHandle);
        EXPECT_EQ(guard.GetResourceHandle(), kOtherHandle);
    }
    EXPECT_EQ(CurrentResourceHandle(), kHostHandle);
}

TEST_F(ResourceHandleTest, GuardWithoutLibraryModuleChangesNothing) {
    QuorvelResHandle::SetResourceHandle(nullptr);
    {
        QuorvelResHandle guard;
        EXPECT_EQ(CurrentResourceHandle(), kHostHandle);
        EXPECT_EQ(guard.GetResourceHandle(), nullptr);
    }
    EXPECT_EQ(CurrentResourceHandle(), kHostHandle);
}

TEST_F(ResourceHandleTest, NestedGuardsRestoreInReverseOrder) {
    QuorvelResHandle::SetResourceHandle(kOtherHandle);
    {
        QuorvelResHandle outer;
        {
            QuorvelResHandle inner;
            EXPECT_EQ(CurrentResourceHandle(), kOtherHandle);
        }
        EXPECT_EQ(CurrentResourceHandle(), kOtherHandle) << "inner guard restored too far";
    }
    EXPECT_EQ(CurrentResourceHandle(), kHostHandle);
}

TEST_F(ResourceHandleTest, NestedGuardsEachRestoreWhatTheyFound) {
    QuorvelResHandle::SetResourceHandle(kOtherHandle);
    {
        QuorvelResHandle outer;
        QuorvelResHandle::SetResourceHandle(kThirdHandle);
        {
            QuorvelResHandle inner;
            EXPECT_EQ(CurrentResourceHandle(), kThirdHandle);
        }
        EXPECT_EQ(CurrentResourceHandle(), kOtherHandle);
    }
    EXPECT_EQ(CurrentResourceHandle(), kHostHandle);
}

TEST_F(ResourceHandleTest, SetResourceHandleIsReadBackAndInstalledByLaterGuards) {
    const HINSTANCE cases[] = {kOtherHandle, kThirdHandle, nullptr};
    for (HINSTANCE hInst : cases) {
        SCOPED_TRACE(testing::Message() << "handle " << hInst);
        QuorvelResHandle::SetResourceHandle(hInst);
        EXPECT_EQ(LibraryResourceHandle(), hInst);
        QuorvelResHandle guard;
        EXPECT_EQ(guard.GetResourceHandle(), hInst);
        EXPECT_EQ(CurrentResourceHandle(), hInst != nullptr ? hInst : kHostHandle);
    }
    EXPECT_EQ(CurrentResourceHandle(), kHostHandle);
}

TEST_F(ResourceHandleTest, AssignedGuardRestoresWhatTheSourceFound) {
    QuorvelResHandle::SetResourceHandle(kOtherHandle);
    QuorvelResHandle source;  // finds kHostHandle
    State()->m_hCurrentResourceHandle = kThirdHandle;
    {
        QuorvelResHandle target;  // finds kThirdHandle
        EXPECT_EQ(&(target = source), &target);
        EXPECT_EQ(CurrentResourceHandle(), kOtherHandle) << "assignment installs nothing";
    }
    EXPECT_EQ(CurrentResourceHandle(), kHostHandle);
}

TEST_F(ResourceHandleTest, EachInitQuorvelDllAddsAnEntry) {
    QuorvelResHandle::SetResourceHandle(nullptr);
    const HINSTANCE hFirst = InitQuorvelDLL();
    ASSERT_NE(hFirst, nullptr);
    EXPECT_EQ(LibraryResourceHandle(), hFirst);
    const int nBefore = EntriesOf(hFirst);

    EXPECT_EQ(InitQuorvelDLL(), hFirst);
    EXPECT_EQ(InitQuorvelDLL(), hFirst);
    EXPECT_EQ(EntriesOf(hFirst), nBefore + 2);
    EXPECT_EQ(State()->m_pFirstDLL->m_hModule, hFirst) << "new entries join at the head";
    EXPECT_EQ(LibraryResourceHandle(), hFirst);
    EXPECT_EQ(CurrentResourceHandle(), kHostHandle) << "registering installs no resource handle";
}

BOOL RefuseEverything(size_t, BOOL, LONG) {
    return FALSE;
}

TEST_F(ResourceHandleTest, InitQuorvelDllWithoutMemorySetsOnlyTheResourceModule) {
    const HINSTANCE hLibrary = InitQuorvelDLL();
    const int nBefore = EntriesOf(hLibrary);
    QuorvelResHandle::SetResourceHandle(nullptr);

    AFX_ALLOC_HOOK pfnPrevious = AfxSetAllocHook(RefuseEverything);
    HINSTANCE hResult = nullptr;
    EXPECT_NO_THROW(hResult = InitQuorvelDLL());
    AfxSetAllocHook(pfnPrevious);

    EXPECT_EQ(hResult, hLibrary);
    EXPECT_EQ(EntriesOf(hLibrary), nBefore);
    EXPECT_EQ(LibraryResourceHandle(), hLibrary);
}

TEST(ExtensionModule, TermRemovesOnlyThatModulesEntries) {
    const HINSTANCE hLibrary = InitQuorvelDLL();
    const int nLibraryEntries = EntriesOf(hLibrary);

    AFX_EXTENSION_MODULE module = {};
    ASSERT_TRUE(AfxInitExtensionModule(module, kOtherHandle));
    ASSERT_TRUE(AfxInitExtensionModule(module, kThirdHandle));
    EXPECT_EQ(module.hModule, kOtherHandle) << "a second init replaced the recorded handle";
    CDynLinkLibrary* pEntry = new CDynLinkLibrary(module, FALSE);
    EXPECT_EQ(pEntry->m_hModule, kOtherHandle);
    EXPECT_TRUE(pEntry->IsKindOf(RUNTIME_CLASS(CObject)));
    new CDynLinkLibrary(module, FALSE);
    EXPECT_EQ(EntriesOf(kOtherHandle), 2);

    AfxTermExtensionModule(module, FALSE);
    EXPECT_EQ(EntriesOf(kOtherHandle), 0);
    EXPECT_EQ(EntriesOf(hLibrary), nLibraryEntries);
}

}  // namespace
