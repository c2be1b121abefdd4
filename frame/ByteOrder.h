// Byte access in one place: little-endian integers of the table file, and values at addresses
// that may be unaligned (members of the byte-packed host records). Everything goes through
// memcpy, so no access is unaligned or type-punned.
#ifndef QUORVEL_FRAME_BYTEORDER_H
#define QUORVEL_FRAME_BYTEORDER_H

#include <cstdint>
#include <cstring>

namespace qv {

inline uint16_t LoadLE16(const void* p) {
    unsigned char b[2];
    std::memcpy(b, p, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

inline void StoreLE16(void* p, uint16_t v) {
    unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    std::memcpy(p, b, 2);
}

inline uint32_t LoadLE32(const void* p) {
    unsigned char b[4];
    std::memcpy(b, p, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

inline void StoreLE32(void* p, uint32_t v) {
    unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    std::memcpy(p, b, 4);
}

// A value of type T, in the machine's own byte order, at an address of any alignment.
template <typename T>
inline T LoadUnaligned(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
inline void StoreUnaligned(void* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

}  // namespace qv

#endif  // QUORVEL_FRAME_BYTEORDER_H
