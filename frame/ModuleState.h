// Module state and extension-module registration.
//
// AFX_MODULE_STATE holds the current resource handle and the chain of extension libraries
// (CDynLinkLibrary objects) registered with the module. In this process there is one module
// state, the one AfxGetModuleState returns; it lives in this library.
#ifndef QUORVEL_FRAME_MODULESTATE_H
#define QUORVEL_FRAME_MODULESTATE_H

#include "CObject.h"

class CDynLinkLibrary;

struct QV_API AFX_EXTENSION_MODULE {
    BOOL bInitialized;
    HINSTANCE hModule;
    HINSTANCE hResource;
};

struct QV_API AFX_MODULE_STATE {
    HINSTANCE m_hCurrentInstanceHandle = nullptr;
    HINSTANCE m_hCurrentResourceHandle = nullptr;
    // Head of the chain of extension libraries; each links to the next with m_pNextDLL. The
    // module state owns the entries; AfxTermExtensionModule frees them.
    CDynLinkLibrary* m_pFirstDLL = nullptr;
};

// An extension library's entry in the chain of the module state current at its construction.
class QV_API CDynLinkLibrary : public CObject {
    DECLARE_DYNAMIC(CDynLinkLibrary)
  public:
    // Joins the chain of AfxGetModuleState() at its head. bSystem is recorded and unused.
    CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem = FALSE);
    ~CDynLinkLibrary() override;
    CDynLinkLibrary(const CDynLinkLibrary&) = delete;
    CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;

    HINSTANCE m_hModule;
    HINSTANCE m_hResource;
    BOOL m_bSystem;
    CDynLinkLibrary* m_pNextDLL;
};

// The module state of the calling code. Never null.
QV_API AFX_MODULE_STATE* AfxGetModuleState();

// Records the module handle in state (once; later calls find it initialised). TRUE on success.
QV_API BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HINSTANCE hModule);
// Takes every entry of state's module out of the current module state's chain and frees it.
// bAll is accepted for compatibility and has no further effect.
QV_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll = FALSE);

#endif  // QUORVEL_FRAME_MODULESTATE_H
