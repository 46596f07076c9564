#include "hidden/block_shuffle.h"

#include <numeric>
#include <utility>

#include "layout/bit_words.h"
#include "common/byte_order.h"

namespace glint {

using common::readLe16;
namespace {

constexpr std::uint32_t kRotationDomain = 1;
constexpr std::uint32_t kOrderDomain = 2;
constexpr std::size_t kTileWords = 64;

// Fisher-Yates over `order` with numbers from `stream`.
void shuffle(std::vector<std::uint16_t>& order, KeyStream& stream) {
    for (std::size_t i = order.size(); i > 1; --i) {
        std::swap(order[i - 1], order[stream.below(i)]);
    }
}

void transposeTiles(std::uint64_t* words, std::size_t count) {
    for (std::size_t tile = 0; tile + kTileWords <= count; tile += kTileWords) transpose64(words + tile);
}

}  // namespace

std::vector<std::uint16_t> BlockShuffle::sharedOrder(KeyStream& stream) {
    std::vector<std::uint16_t> order(kBlockWords);
    std::iota(order.begin(), order.end(), std::uint16_t{0});
    stream.start(kOrderDomain, 0);
    shuffle(order, stream);
    return order;
}

bool BlockShuffle::prepare(KeyStream& stream, std::uint64_t block, std::size_t words,
                           const std::vector<std::uint16_t>& shared) {
    words_ = words;
    std::vector<unsigned char> drawn(2 * words + 2);
    if (!stream.fill(kRotationDomain, block, drawn.data(), drawn.size())) return false;
    first_.assign(drawn.begin(), drawn.begin() + static_cast<std::ptrdiff_t>(words));
    second_.assign(drawn.begin() + static_cast<std::ptrdiff_t>(words), drawn.end() - 2);
    if (words == kBlockWords) {
        // A mask below 1024 keeps the order a permutation of 0 .. 1023.
        const auto mask = static_cast<std::uint16_t>(readLe16(&drawn[2 * words]) % kBlockWords);
        order_.resize(words);
        for (std::size_t w = 0; w < words; ++w) order_[w] = static_cast<std::uint16_t>(shared[w] ^ mask);
    } else {
        order_.resize(words);
        std::iota(order_.begin(), order_.end(), std::uint16_t{0});
        stream.start(kOrderDomain, block + 1);
        shuffle(order_, stream);
    }
    from_.resize(words);
    for (std::size_t w = 0; w < words; ++w) from_[order_[w]] = static_cast<std::uint16_t>(w);
    return true;
}

void BlockShuffle::forward(const std::uint64_t* memory, std::uint64_t* layout, std::uint64_t* scratch) const {
    for (std::size_t w = 0; w < words_; ++w) scratch[w] = rotateLeft(memory[w], first_[w]);
    transposeTiles(scratch, words_);
    for (std::size_t w = 0; w < words_; ++w) layout[order_[w]] = rotateLeft(scratch[w], second_[w]);
}

void BlockShuffle::inverse(const std::uint64_t* layout, std::uint64_t* memory, std::uint64_t* scratch) const {
    for (std::size_t w = 0; w < words_; ++w) scratch[w] = rotateRight(layout[order_[w]], second_[w]);
    transposeTiles(scratch, words_);
    for (std::size_t w = 0; w < words_; ++w) memory[w] = rotateRight(scratch[w], first_[w]);
}

std::uint64_t BlockShuffle::slotOf(std::uint64_t bit) const {
    const std::uint64_t word = bit / 64;
    std::uint64_t to = word;
    std::uint64_t column = (bit % 64 + first_[word]) % 64;
    if (word < words_ / kTileWords * kTileWords) {
        // Turned about the tile's diagonal: row and column trade places.
        to = (word & ~std::uint64_t{63}) | column;
        column = word % 64;
    }
    return std::uint64_t{order_[to]} * 64 + (column + second_[to]) % 64;
}

std::uint64_t BlockShuffle::bitOf(std::uint64_t slot) const {
    const std::uint64_t to = from_[slot / 64];
    std::uint64_t column = (slot % 64 + 64 - second_[to] % 64) % 64;
    std::uint64_t word = to;
    if (to < words_ / kTileWords * kTileWords) {
        word = (to & ~std::uint64_t{63}) | column;
        column = to % 64;
    }
    return word * 64 + (column + 64 - first_[word] % 64) % 64;
}

}  // namespace glint
