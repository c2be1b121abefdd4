#include "ModuleState.h"

IMPLEMENT_DYNAMIC(CDynLinkLibrary, CObject)

AFX_MODULE_STATE* AfxGetModuleState() {
    // Constant-initialised, so it exists before any ELF constructor runs.
    static AFX_MODULE_STATE s_moduleState;
    return &s_moduleState;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem)
    : m_hModule(state.hModule),
      m_hResource(state.hResource),
      m_bSystem(bSystem),
      m_pNextDLL(nullptr) {
    AFX_MODULE_STATE* pState = AfxGetModuleState();
    m_pNextDLL = pState->m_pFirstDLL;
    pState->m_pFirstDLL = this;
}

CDynLinkLibrary::~CDynLinkLibrary() = default;

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HINSTANCE hModule) {
    if (state.bInitialized) {
        return TRUE;
    }
    state.hModule = hModule;
    state.hResource = hModule;
    state.bInitialized = TRUE;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL /*bAll*/) {
    AFX_MODULE_STATE* pState = AfxGetModuleState();
    CDynLinkLibrary** ppLink = &pState->m_pFirstDLL;
    while (*ppLink != nullptr) {
        CDynLinkLibrary* pDLL = *ppLink;
        if (pDLL->m_hModule == state.hModule) {
            *ppLink = pDLL->m_pNextDLL;
            delete pDLL;
        } else {
            ppLink = &pDLL->m_pNextDLL;
        }
    }
}
