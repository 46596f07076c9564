// The keyed permutation of one block of the hidden layout: up to 1024 words
// of units' bits (65536 units) taken from memory order to the order in which
// the block's groups are laid out. Three steps, each cheap on whole words:
// every word rotated by a keyed amount, every whole 64-word tile turned about
// its diagonal (so that the 64 bits of a word go to 64 different words), and
// the words put in a keyed order and rotated once more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encryption/hidden_keys.h"

namespace glint {

inline constexpr std::size_t kBlockWords = 1024;

class BlockShuffle {
public:
    // The order of a full block's words, drawn once for every full block;
    // each block turns it with its own keyed mask.
    static std::vector<std::uint16_t> sharedOrder(KeyStream& stream);

    // The permutation of block `block` of `words` words; false when the key
    // stream failed.
    bool prepare(KeyStream& stream, std::uint64_t block, std::size_t words, const std::vector<std::uint16_t>& shared);

    std::size_t words() const { return words_; }
    // Memory order to layout order, and back; `scratch` holds words() words.
    void forward(const std::uint64_t* memory, std::uint64_t* layout, std::uint64_t* scratch) const;
    void inverse(const std::uint64_t* layout, std::uint64_t* memory, std::uint64_t* scratch) const;
    // Where bit `bit` of the block's memory order lies in layout order, and
    // the reverse.
    std::uint64_t slotOf(std::uint64_t bit) const;
    std::uint64_t bitOf(std::uint64_t slot) const;

private:
    std::size_t words_ = 0;
    std::vector<unsigned char> first_;   // rotation before the tiles turn
    std::vector<unsigned char> second_;  // rotation after
    std::vector<std::uint16_t> order_;   // word w goes to word order_[w]
    std::vector<std::uint16_t> from_;    // and word order_[w] comes from w
};

}  // namespace glint
