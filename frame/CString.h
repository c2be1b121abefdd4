// CString: the text type of paths and column names. A value type; copies are independent.
#ifndef QUORVEL_FRAME_CSTRING_H
#define QUORVEL_FRAME_CSTRING_H

#include <string>

#include "QvPlatform.h"

class QV_API CString {
  public:
    CString() = default;
    CString(LPCSTR psz);  // NOLINT: implicit, as hosts pass literals where a CString is taken
    CString(LPCSTR pch, int nLength);
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(LPCSTR psz);
    ~CString() = default;

    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    // The text, NUL-terminated; valid until the string is next changed or destroyed.
    operator LPCSTR() const { return m_str.c_str(); }  // NOLINT: implicit by design
    LPCSTR GetString() const { return m_str.c_str(); }

    char GetAt(int nIndex) const { return m_str[static_cast<size_t>(nIndex)]; }
    // REQUIRES: 0 <= nIndex < GetLength().
    void SetAt(int nIndex, char ch) { m_str[static_cast<size_t>(nIndex)] = ch; }

    // Position of the first ch, or -1.
    int Find(char ch) const;

    // Makes the text nNewLength bytes long and returns a writable buffer of nNewLength + 1 bytes
    // (the last one a NUL). Call ReleaseBuffer after writing.
    LPSTR GetBufferSetLength(int nNewLength);
    // Ends a GetBufferSetLength: with -1 the text ends at its first NUL, otherwise it is
    // nNewLength bytes long.
    void ReleaseBuffer(int nNewLength = -1);

    CString& operator+=(LPCSTR psz);
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_str != b.m_str; }

  private:
    std::string m_str;
};

#endif  // QUORVEL_FRAME_CSTRING_H
