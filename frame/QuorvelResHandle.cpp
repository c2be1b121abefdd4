#include "QuorvelResHandle.h"

#include "ModuleState.h"

HINSTANCE QuorvelResHandle::m_hInst = nullptr;

QuorvelResHandle::QuorvelResHandle() : m_hPrevInst(AfxGetModuleState()->m_hCurrentResourceHandle) {
    if (m_hInst != nullptr) {
        AfxGetModuleState()->m_hCurrentResourceHandle = m_hInst;
    }
}

QuorvelResHandle::~QuorvelResHandle() {
    AfxGetModuleState()->m_hCurrentResourceHandle = m_hPrevInst;
}

QuorvelResHandle& QuorvelResHandle::operator=(const QuorvelResHandle& other) {
    m_hPrevInst = other.m_hPrevInst;
    return *this;
}

HINSTANCE QuorvelResHandle::GetResourceHandle() {
    return m_hInst;
}

void QuorvelResHandle::SetResourceHandle(HINSTANCE hInst) {
    m_hInst = hInst;
}
