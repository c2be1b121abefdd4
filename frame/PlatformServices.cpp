#include "PlatformServices.h"

#include <langinfo.h>
#include <locale.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <initializer_list>

#include "TextScan.h"

namespace {

// The locale name the environment gives for numbers, as setlocale(LC_NUMERIC, "") would pick it.
const char* NumericLocaleName() {
    for (const char* var : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && value[0] != '\0') {
            return value;
        }
    }
    return "C";
}

struct DebugSink {
    QUORVEL_DEBUG_SINK pfn;
    void* pContext;
};
DebugSink g_debugSink = {nullptr, nullptr};

}  // namespace

int GetLocaleInfoA(LCID /*Locale*/, LCTYPE LCType, LPSTR lpLCData, int cchData) {
    if (LCType != LOCALE_SDECIMAL || lpLCData == nullptr) {
        return 0;
    }
    char sep[8] = ".";
    locale_t loc = newlocale(LC_NUMERIC_MASK, NumericLocaleName(), static_cast<locale_t>(0));
    if (loc != static_cast<locale_t>(0)) {
        std::snprintf(sep, sizeof sep, "%s", nl_langinfo_l(RADIXCHAR, loc));
        freelocale(loc);
    }
    // A separator of more than one byte (or none) does not fit the two-byte answer.
    int needed = static_cast<int>(std::strlen(sep)) + 1;
    if (needed != 2 || cchData < needed) {
        return 0;
    }
    lpLCData[0] = sep[0];
    lpLCData[1] = '\0';
    return needed;
}

void OutputDebugStringA(LPCSTR lpOutputString) {
    if (lpOutputString == nullptr) {
        return;
    }
    if (g_debugSink.pfn != nullptr) {
        g_debugSink.pfn(lpOutputString, g_debugSink.pContext);
        return;
    }
    std::fputs(lpOutputString, stderr);
    std::fflush(stderr);
}

QUORVEL_DEBUG_SINK QuorvelSetDebugSink(QUORVEL_DEBUG_SINK pfnSink, void* pContext,
                                       void** ppPreviousContext) {
    const DebugSink previous = g_debugSink;
    g_debugSink = {pfnSink, pContext};
    if (ppPreviousContext != nullptr) {
        *ppPreviousContext = previous.pContext;
    }
    return previous.pfn;
}

size_t QvMbsWholePrefix(const unsigned char* s, size_t len) {
    // A byte below 0x40 is never part of a multibyte character in the multibyte encodings glibc
    // offers (UTF-8, EUC, GBK, Big5, Shift-JIS trail bytes start at 0x40), so a text that ends
    // in one (the blank padding of a column) is whole without decoding it.
    if (len == 0 || s[len - 1] < 0x40 || MB_CUR_MAX == 1) {
        return len;
    }
    // Only the locale's decoder knows where a character begins: walk from the start.
    std::mbstate_t state{};
    size_t keep = 0;
    while (keep < len) {
        size_t n = std::mbrlen(reinterpret_cast<const char*>(s) + keep, len - keep, &state);
        if (n == static_cast<size_t>(-2)) {
            break;  // the last character is cut off
        }
        if (n == static_cast<size_t>(-1)) {
            state = std::mbstate_t{};
            n = 1;  // an invalid byte counts as a character of its own
        }
        keep += n == 0 ? 1 : n;
    }
    return keep;
}

unsigned char* QvMbsnbcpy(unsigned char* dst, const unsigned char* src, size_t count) {
    const void* nul = std::memchr(src, 0, count);
    size_t len = nul != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - src)
                                : QvMbsWholePrefix(src, count);
    std::memmove(dst, src, len);
    std::memset(dst + len, 0, count - len);
    return dst;
}

const unsigned char* QvMbschr(const unsigned char* str, unsigned int ch) {
    if (MB_CUR_MAX == 1 || ch < 0x80) {
        // In UTF-8 an ASCII byte never occurs inside a multibyte sequence.
        return reinterpret_cast<const unsigned char*>(
            std::strchr(reinterpret_cast<const char*>(str), static_cast<int>(ch)));
    }
    std::mbstate_t state{};
    const char* p = reinterpret_cast<const char*>(str);
    size_t rest = std::strlen(p);
    while (*p != '\0') {
        size_t n = std::mbrlen(p, rest, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            state = std::mbstate_t{};
            n = 1;
        }
        if (n == 1 && static_cast<unsigned char>(*p) == ch) {
            return reinterpret_cast<const unsigned char*>(p);
        }
        p += n;
        rest -= n;
    }
    return nullptr;
}

void NormalizeFieldText(char* pszText) {
    if (pszText == nullptr) {
        return;
    }
    char* const p = pszText;
    p[qv::TrimmedLength(reinterpret_cast<const unsigned char*>(p), std::strlen(p))] = '\0';
}

char QvNumericRadix() {
    // nl_langinfo answers for the thread's locale (uselocale), as printf and strtod read it.
    const char* radix = nl_langinfo(RADIXCHAR);
    return radix != nullptr && radix[0] != '\0' && radix[1] == '\0' ? radix[0] : '\0';
}
