// CObArray: a growable array of CObject pointers. It never deletes its elements; whoever stores
// an object decides who deletes it.
#ifndef QUORVEL_FRAME_COBARRAY_H
#define QUORVEL_FRAME_COBARRAY_H

#include <vector>

#include "CObject.h"

class QV_API CObArray : public CObject {
    DECLARE_DYNAMIC(CObArray)
  public:
    CObArray() = default;
    ~CObArray() override;
    CObArray(const CObArray&) = delete;
    CObArray& operator=(const CObArray&) = delete;

    int GetSize() const { return static_cast<int>(m_data.size()); }
    int GetUpperBound() const { return GetSize() - 1; }
    // REQUIRES: 0 <= nIndex < GetSize(); not tested.
    CObject* GetAt(int nIndex) const { return m_data[static_cast<size_t>(nIndex)]; }
    // REQUIRES: 0 <= nIndex < GetSize(); not tested.
    void SetAt(int nIndex, CObject* pElement) { m_data[static_cast<size_t>(nIndex)] = pElement; }
    // Stores pElement at nIndex, growing the array to nIndex + 1 with null elements when it is
    // shorter; an element already there is replaced (not deleted). Raises CMemoryException when
    // memory runs out (and for a negative index, which no memory can satisfy).
    void SetAtGrow(int nIndex, CObject* pElement);
    int Add(CObject* pElement);
    // Resizes to nNewSize, new elements null. SetSize(0, -1) empties the array. Raises
    // CMemoryException when memory runs out.
    void SetSize(int nNewSize, int nGrowBy = -1);
    void RemoveAll() { m_data.clear(); }

  private:
    std::vector<CObject*> m_data;
};

#endif  // QUORVEL_FRAME_COBARRAY_H
