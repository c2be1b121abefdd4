// Scans over column text that the row conversions make for every text column of every row.
// Internal to the library (not installed): inline, and with SSE2 where the target has it.
#ifndef QUORVEL_FRAME_TEXTSCAN_H
#define QUORVEL_FRAME_TEXTSCAN_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qv {

// The length of the len bytes at s without their trailing blanks (0x20): where
// NormalizeFieldText puts its terminator in that text.
inline size_t TrimmedLength(const unsigned char* s, size_t len) {
    // Text columns are mostly padding (a 20-character tag in a 255-wide column): 16 bytes at a
    // time where SSE2 compares them, then 8, then byte by byte.
#if defined(__SSE2__)
    const __m128i blanks = _mm_set1_epi8(' ');
    while (len >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + len - 16));
        const unsigned nonBlank =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, blanks))) ^ 0xFFFFu;
        if (nonBlank != 0) {
            // Bit k stands for byte len - 16 + k; the highest set bit is the last non-blank.
            return len - 16 + static_cast<size_t>(32 - __builtin_clz(nonBlank));
        }
        len -= 16;
    }
#endif
    constexpr uint64_t kEightBlanks = 0x2020202020202020ULL;
    while (len >= 8) {
        uint64_t w;
        std::memcpy(&w, s + len - 8, sizeof w);
        if (w != kEightBlanks) {
            break;
        }
        len -= 8;
    }
    while (len > 0 && s[len - 1] == ' ') {
        --len;
    }
    return len;
}

}  // namespace qv

#endif  // QUORVEL_FRAME_TEXTSCAN_H
