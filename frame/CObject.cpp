#include "CObject.h"

#include <atomic>
#include <new>

#include "CMemoryException.h"

const CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), 0xFFFF,
                                             nullptr, nullptr};

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const {
    for (const CRuntimeClass* p = this; p != nullptr; p = p->m_pBaseClass) {
        if (p == pBaseClass) {
            return TRUE;
        }
    }
    return FALSE;
}

CRuntimeClass* CObject::GetRuntimeClass() const {
    return RUNTIME_CLASS(CObject);
}
CObject::~CObject() = default;
void CObject::Serialize(CArchive&) {}
void CObject::AssertValid() const {}
void CObject::Dump(CDumpContext&) const {}

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const {
    return GetRuntimeClass()->IsDerivedFrom(pClass);
}

namespace {

std::atomic<AFX_ALLOC_HOOK> g_allocHook{nullptr};
std::atomic<LONG> g_requestNumber{0};

// Asks the hook, if any, whether this allocation may go ahead.
bool AllocationAllowed(size_t nSize, BOOL bObject) {
    AFX_ALLOC_HOOK hook = g_allocHook.load(std::memory_order_relaxed);
    if (hook == nullptr) {
        return true;
    }
    LONG n = g_requestNumber.fetch_add(1, std::memory_order_relaxed);
    return hook(nSize, bObject, n) != FALSE;
}

}  // namespace

AFX_ALLOC_HOOK AfxSetAllocHook(AFX_ALLOC_HOOK pfnAllocHook) {
    return g_allocHook.exchange(pfnAllocHook);
}

void* CObject::operator new(size_t nSize) {
    void* p = AllocationAllowed(nSize, TRUE) ? ::operator new(nSize, std::nothrow) : nullptr;
    if (p == nullptr) {
        AfxThrowMemoryException();
    }
    return p;
}

void CObject::operator delete(void* p) noexcept {
    ::operator delete(p);
}

BYTE* AfxNewBytes(size_t nSize) {
    BYTE* p = AllocationAllowed(nSize, FALSE) ? new (std::nothrow) BYTE[nSize] : nullptr;
    if (p == nullptr) {
        AfxThrowMemoryException();
    }
    return p;
}

void AfxFreeBytes(BYTE* p) noexcept {
    delete[] p;
}
