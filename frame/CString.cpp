#include "CString.h"

#include <cstring>

CString::CString(LPCSTR psz) : m_str(psz != nullptr ? psz : "") {}

CString::CString(LPCSTR pch, int nLength)
    : m_str(pch != nullptr && nLength > 0 ? std::string(pch, static_cast<size_t>(nLength))
                                          : std::string()) {}

CString& CString::operator=(LPCSTR psz) {
    m_str.assign(psz != nullptr ? psz : "");
    return *this;
}

int CString::Find(char ch) const {
    size_t pos = m_str.find(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

LPSTR CString::GetBufferSetLength(int nNewLength) {
    m_str.resize(nNewLength > 0 ? static_cast<size_t>(nNewLength) : 0);
    return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength) {
    if (nNewLength < 0) {
        m_str.resize(std::strlen(m_str.c_str()));
    } else if (static_cast<size_t>(nNewLength) <= m_str.size()) {
        m_str.resize(static_cast<size_t>(nNewLength));
    }
}

CString& CString::operator+=(LPCSTR psz) {
    if (psz != nullptr) {
        m_str.append(psz);
    }
    return *this;
}
