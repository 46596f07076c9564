// Bit strings kept in 64-bit words, bit i in bit i % 64 of word i / 64: the
// hidden layout's view of a block's least significant bits, and of the
// hidden stream, which it reads and writes at any bit offset.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glint {

inline std::uint64_t rotateLeft(std::uint64_t word, unsigned by) {
    by &= 63;
    return by == 0 ? word : (word << by) | (word >> (64 - by));
}

inline std::uint64_t rotateRight(std::uint64_t word, unsigned by) { return rotateLeft(word, 64 - (by & 63)); }

inline std::uint64_t lowBits(unsigned count) { return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1; }

// A 64 x 64 bit matrix held as 64 words (row r is word r, column c is bit
// c) turned about its diagonal in place: bit c of word r trades places with
// bit r of word c. Off-diagonal blocks of 32, 16, ... 1 are swapped in turn.
void transpose64(std::uint64_t* rows);

// `count` (at most 64) bits of `words` from bit `at`, in the low bits of the
// result. Reads the word after the last bit when the bits cross into it.
inline std::uint64_t readBits(const std::uint64_t* words, std::uint64_t at, unsigned count) {
    const std::uint64_t* word = words + at / 64;
    const unsigned shift = static_cast<unsigned>(at % 64);
    std::uint64_t bits = word[0] >> shift;
    if (shift + count > 64) bits |= word[1] << (64 - shift);
    return bits & lowBits(count);
}

// ORs the low `count` (at most 64) bits of `bits` into `words` at bit `at`.
inline void orBits(std::uint64_t* words, std::uint64_t at, std::uint64_t bits, unsigned count) {
    bits &= lowBits(count);
    std::uint64_t* word = words + at / 64;
    const unsigned shift = static_cast<unsigned>(at % 64);
    word[0] |= bits << shift;
    if (shift + count > 64) word[1] |= bits >> (64 - shift);
}

}  // namespace glint
