// Little-endian field access on byte blocks. BMP fields and the bit-plane
// words are always read and written byte by byte, so the host's byte order
// and alignment never matter.
#pragma once

#include <cstdint>
#include <cstring>

namespace glint {

inline std::uint16_t readLe16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readLe32(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
           (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

inline void writeLe32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// 64-bit words for the bit-plane kernels. On little-endian hosts these
// compile to a single unaligned load or store.
inline std::uint64_t readLe64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

inline void writeLe64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace glint
