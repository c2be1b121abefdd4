#include "CObArray.h"

#include <new>

#include "CMemoryException.h"

IMPLEMENT_DYNAMIC(CObArray, CObject)

CObArray::~CObArray() = default;

void CObArray::SetAtGrow(int nIndex, CObject* pElement) {
    if (nIndex < 0) {
        AfxThrowMemoryException();
    }
    if (static_cast<size_t>(nIndex) >= m_data.size()) {
        SetSize(nIndex + 1);
    }
    m_data[static_cast<size_t>(nIndex)] = pElement;
}

int CObArray::Add(CObject* pElement) {
    int nIndex = GetSize();
    SetAtGrow(nIndex, pElement);
    return nIndex;
}

void CObArray::SetSize(int nNewSize, int /*nGrowBy*/) {
    if (nNewSize < 0) {
        AfxThrowMemoryException();
    }
    try {
        m_data.resize(static_cast<size_t>(nNewSize), nullptr);
        if (nNewSize == 0) {
            m_data.shrink_to_fit();
        }
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}
