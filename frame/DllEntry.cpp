// The library's entry routine, run by the loader through an ELF constructor (process attach)
// and destructor (process detach), and the exported InitQuorvelDLL.
#include "DllEntry.h"

#include <dlfcn.h>

#include "CException.h"
#include "ModuleState.h"
#include "QuorvelResHandle.h"

namespace {

enum : DWORD {
    kProcessDetach = 0,
    kProcessAttach = 1,
    kThreadAttach = 2,
    kThreadDetach = 3,
};

// The library's extension-module record; zero at load.
AFX_EXTENSION_MODULE g_quorvelDLL = {};

// The load address of this shared object: unique per loaded library, so it serves as the module
// handle.
HINSTANCE OwnModuleHandle() {
    Dl_info info = {};
    if (dladdr(reinterpret_cast<void*>(&OwnModuleHandle), &info) == 0) {
        return nullptr;
    }
    return static_cast<HINSTANCE>(info.dli_fbase);
}

// Adds an entry of the library to the current module state's chain; the chain owns it. A failed
// allocation skips the registration.
void AddLibraryEntry() {
    try {
        new CDynLinkLibrary(g_quorvelDLL, FALSE);
    } catch (CException* e) {
        e->Delete();
    }
}

int QuorvelDllMain(HINSTANCE hInstance, DWORD dwReason, void* /*lpReserved*/) {
    if (dwReason == kProcessAttach) {
        if (!AfxInitExtensionModule(g_quorvelDLL, hInstance)) {
            return 0;
        }
        AddLibraryEntry();
        QuorvelResHandle::SetResourceHandle(g_quorvelDLL.hModule);
    } else if (dwReason == kProcessDetach) {
        AfxTermExtensionModule(g_quorvelDLL, FALSE);
    }
    return 1;
}

// A shared object cannot refuse its own load on Linux; a 0 from process attach leaves the
// library unregistered instead.
__attribute__((constructor)) void OnLibraryLoad() {
    QuorvelDllMain(OwnModuleHandle(), kProcessAttach, nullptr);
}

__attribute__((destructor)) void OnLibraryUnload() {
    QuorvelDllMain(OwnModuleHandle(), kProcessDetach, nullptr);
}

}  // namespace

HINSTANCE InitQuorvelDLL() {
    AddLibraryEntry();
    QuorvelResHandle::SetResourceHandle(g_quorvelDLL.hModule);
    return g_quorvelDLL.hModule;
}
