// Little-endian field access on byte blocks, for both programs: BMP fields,
// the bit-plane words and MD5's words and bit count are always read and
// written byte by byte, so the host's byte order and alignment never matter.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace common {

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

// 64-bit words for the bit-plane kernels: one unaligned load or store, with
// the bytes swapped on a big-endian host.
inline std::uint64_t swapBytes64(std::uint64_t v) {
    std::uint64_t swapped = 0;
    for (int i = 0; i < 8; ++i) swapped = (swapped << 8) | ((v >> (8 * i)) & 0xFF);
    return swapped;
}

inline std::uint64_t readLe64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = swapBytes64(v);
    return v;
}

inline void writeLe64(unsigned char* p, std::uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = swapBytes64(v);
    std::memcpy(p, &v, sizeof v);
}

}  // namespace common
