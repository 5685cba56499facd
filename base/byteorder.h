// Reading 16-, 32- and 64-bit numbers stored least (little-endian) or most
// (big-endian) significant byte first. The caller guarantees that the bytes
// are there.
#pragma once

#include <cstdint>

namespace ovin {

inline uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

inline uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

inline uint16_t get16(const uint8_t* p, bool bigendian) {
    return bigendian ? be16(p) : le16(p);
}

inline uint32_t get32(const uint8_t* p, bool bigendian) {
    return bigendian ? be32(p) : le32(p);
}

inline uint64_t get64(const uint8_t* p, bool bigendian) {
    const uint64_t first = get32(p, bigendian);
    const uint64_t second = get32(p + 4, bigendian);
    return bigendian ? first << 32 | second : second << 32 | first;
}

} // namespace ovin
