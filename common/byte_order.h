// Little-endian fields and words on byte blocks, read and written so that the
// host's byte order and alignment never matter: the fields of the BMP
// headers and the hidden length, the words of the bit-plane kernels and the
// message words of MD5.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace common {

// Fields, byte by byte.
inline std::uint16_t readLe16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readLe32(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
           (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

inline void writeLe16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void writeLe32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Words of the kernels: one unaligned load or store at every optimisation
// level, with the bytes swapped on a big-endian host.
template <typename Word>
Word swapBytes(Word v) {
    Word swapped = 0;
    for (unsigned i = 0; i < sizeof v; ++i) swapped = static_cast<Word>((swapped << 8) | ((v >> (8 * i)) & 0xFF));
    return swapped;
}

template <typename Word>
Word loadLe(const unsigned char* p) {
    Word v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = swapBytes(v);
    return v;
}

template <typename Word>
void storeLe(unsigned char* p, Word v) {
    if constexpr (std::endian::native == std::endian::big) v = swapBytes(v);
    std::memcpy(p, &v, sizeof v);
}

inline std::uint64_t readLe64(const unsigned char* p) { return loadLe<std::uint64_t>(p); }
inline void writeLe64(unsigned char* p, std::uint64_t v) { storeLe(p, v); }

}  // namespace common
