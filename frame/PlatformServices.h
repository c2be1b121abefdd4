// The few system and run-time services the design takes from outside the class library: the
// user's decimal separator, debug output, the multibyte-aware bounded copy and search, and the
// column-text normaliser.
#ifndef QUORVEL_FRAME_PLATFORMSERVICES_H
#define QUORVEL_FRAME_PLATFORMSERVICES_H

#include "QvPlatform.h"

typedef DWORD LCID;
typedef DWORD LCTYPE;
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SDECIMAL 0x000E

// Locale information. Only LOCALE_SDECIMAL is answered: the radix character of the locale that
// the environment names for numbers (LC_ALL, then LC_NUMERIC, then LANG; "C" when none is set or
// the named locale is not installed), independent of the process's setlocale state.
// Returns the number of bytes written including the NUL, or 0 when the answer does not fit in
// cchData bytes, the type is not supported, or the locale's separator is not a single byte; the
// buffer is not changed when 0 is returned.
QV_API int GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData);

// Sends one line of text to the debug sink (standard error unless a host installed its own).
QV_API void OutputDebugStringA(LPCSTR lpOutputString);

// A host-installed receiver of debug lines; null restores standard error.
typedef void (*QUORVEL_DEBUG_SINK)(LPCSTR lpText, void* pContext);
// Installs pfnSink with its context. Returns the previous sink, and its context through
// ppPreviousContext when that is not null, so that a caller can put both back. Not thread-safe
// against a concurrent OutputDebugStringA.
QV_API QUORVEL_DEBUG_SINK QuorvelSetDebugSink(QUORVEL_DEBUG_SINK pfnSink, void* pContext,
                                              void** ppPreviousContext = nullptr);

// Bounded copy: copies src into dst up to src's NUL or count bytes, whichever comes first, and
// fills the rest of dst's count bytes with NUL. src is read no further than count bytes. When no
// NUL lies within count bytes and the process's C locale is multibyte (UTF-8), a character cut
// off at the end is dropped (its bytes become NUL). dst is not terminated when the text fills all
// count bytes. Returns dst.
QV_API unsigned char* QvMbsnbcpy(unsigned char* dst, const unsigned char* src, size_t count);
// The length of the longest prefix of the len bytes at s that does not end inside a character of
// the process's C locale: len itself in a single-byte locale.
QV_API size_t QvMbsWholePrefix(const unsigned char* s, size_t len);
// Pointer to the first ch in the NUL-terminated text, or null. In a multibyte locale only whole
// characters are matched (a byte inside a multibyte sequence never matches).
QV_API const unsigned char* QvMbschr(const unsigned char* str, unsigned int ch);

// Reworks a column text read from a table, in place: trailing blanks are removed. The text stays
// NUL-terminated and never grows.
QV_API void NormalizeFieldText(char* pszText);

// The decimal point the C runtime formats and parses numbers with now (printf, strtod: the
// calling thread's LC_NUMERIC), or '\0' when it is not a single byte.
QV_API char QvNumericRadix();

#endif  // QUORVEL_FRAME_PLATFORMSERVICES_H
