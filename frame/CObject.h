// CObject and CRuntimeClass: the root of the library's class tree with run-time class records.
//
// Every library class that takes part in class tests carries a static CRuntimeClass record (class
// name, object size, schema 0xFFFF, no creation function, link to its base's record), declared
// with DECLARE_DYNAMIC and defined with IMPLEMENT_DYNAMIC. IsKindOf follows the base links.
//
// Objects derived from CObject are allocated with the class's operator new, which raises
// CMemoryException (by pointer) instead of std::bad_alloc when memory runs out.
#ifndef QUORVEL_FRAME_COBJECT_H
#define QUORVEL_FRAME_COBJECT_H

#include "QvPlatform.h"

class CObject;
class CArchive;      // never defined: Serialize is part of the interface but never called
class CDumpContext;  // never defined: Dump is a diagnostic hook that does nothing here

struct QV_API CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;                     // 0xFFFF: not serialisable
    CObject* (*m_pfnCreateObject)();    // null: no dynamic creation
    const CRuntimeClass* m_pBaseClass;  // null for CObject

    // True when this class is pBaseClass or derives from it.
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

#define RUNTIME_CLASS(class_name) (const_cast<CRuntimeClass*>(&class_name::class##class_name))

#define DECLARE_DYNAMIC(class_name)               \
  public:                                         \
    static const CRuntimeClass class##class_name; \
    virtual CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                      \
    const CRuntimeClass class_name::class##class_name = {                   \
        #class_name, static_cast<int>(sizeof(class_name)), 0xFFFF, nullptr, \
        RUNTIME_CLASS(base_class_name)};                                    \
    CRuntimeClass* class_name::GetRuntimeClass() const {                    \
        return RUNTIME_CLASS(class_name);                                   \
    }

class QV_API CObject {
  public:
    static const CRuntimeClass classCObject;

    // Virtual slots in this order: GetRuntimeClass, destructor, Serialize, AssertValid, Dump.
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject();
    virtual void Serialize(CArchive& ar);
    virtual void AssertValid() const;
    virtual void Dump(CDumpContext& dc) const;

    // Nonzero when this object's class is pClass or derives from it.
    BOOL IsKindOf(const CRuntimeClass* pClass) const;

    // REQUIRES: nothing. Raises CMemoryException* when the allocation fails (or the allocation
    // hook refuses it, see AfxSetAllocHook).
    static void* operator new(size_t nSize);
    static void operator delete(void* p) noexcept;

  protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// Allocation hook for fault injection: called before every allocation of a CObject and of record
// buffer storage; returning FALSE makes that allocation fail with CMemoryException. Returns the
// previous hook; a null hook lets every allocation through.
typedef BOOL (*AFX_ALLOC_HOOK)(size_t nSize, BOOL bObject, LONG lRequestNumber);
QV_API AFX_ALLOC_HOOK AfxSetAllocHook(AFX_ALLOC_HOOK pfnAllocHook);

// Allocates nSize bytes of raw storage for the library (record buffers, descriptor blocks).
// Raises CMemoryException* on failure. Release with AfxFreeBytes.
QV_API BYTE* AfxNewBytes(size_t nSize);
QV_API void AfxFreeBytes(BYTE* p) noexcept;

#endif  // QUORVEL_FRAME_COBJECT_H
