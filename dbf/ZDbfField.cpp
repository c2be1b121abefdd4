#include "ZDbfField.h"

#include <cstring>

IMPLEMENT_DYNAMIC(ZDbfField, CObject)

CString ZDbfField::DbfFldDesc::GetName() const {
    const void* nul = std::memchr(m_bytes, 0, kNameSize);
    size_t len =
        nul != nullptr ? static_cast<size_t>(static_cast<const BYTE*>(nul) - m_bytes) : kNameSize;
    return CString(reinterpret_cast<const char*>(m_bytes), static_cast<int>(len));
}

void ZDbfField::DbfFldDesc::SetName(LPCSTR pszName) {
    std::memset(m_bytes, 0, kNameSize);
    if (pszName != nullptr) {
        std::strncpy(reinterpret_cast<char*>(m_bytes), pszName, kNameSize - 1);
    }
}

ZDbfField::ZDbfField(LPCSTR pszName, char chType, unsigned char nWidth, unsigned char nDecimals)
    : m_strName(pszName), m_chType(chType), m_nWidth(nWidth), m_nDecimals(nDecimals) {}

ZDbfField::ZDbfField(const DbfFldDesc* desc)
    : m_strName(desc->GetName()),
      m_chType(desc->GetType()),
      m_nWidth(desc->GetWidth()),
      m_nDecimals(desc->GetDecimals()) {}

ZDbfField::~ZDbfField() = default;

void ZDbfField::WriteToBuffer(unsigned char*&, void*) {}

void ZDbfField::ReadFromBuffer(unsigned char*&, void*) {}
