#include "layout/hidden_layout.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <utility>

#include "layout/bit_words.h"
#include "layout/block_shuffle.h"

namespace glint {
namespace {

constexpr std::uint64_t kBlockUnits = 64 * kBlockWords;
constexpr std::uint32_t kBlockOrderDomain = 3;  // the order in which blocks take their shares
constexpr std::uint32_t kDirectionDomain = 4;  // +1 or -1 for each unit of a block

std::uint64_t codeLength(unsigned code) { return (std::uint64_t{1} << code) - 1; }

// a * b / c, rounded down, without overflow (a, b <= c).
std::uint64_t scaled(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    __extension__ using Wide = unsigned __int128;
    return static_cast<std::uint64_t>(Wide{a} * b / c);
}

// Groups and holes of one block at code size `code`.
struct Shape {
    std::size_t rowWords;  // words of one row of groups
    std::uint64_t groups;  // 64 * rowWords
};

Shape shapeOf(std::size_t words, unsigned code) {
    const std::size_t rowWords = words / codeLength(code);
    return {rowWords, 64 * std::uint64_t{rowWords}};
}

std::vector<std::uint32_t> holesOf(const HiddenLayout::Block& block, unsigned code) {
    const Shape shape = shapeOf(block.words, code);
    std::vector<std::uint32_t> holes;
    for (const std::uint64_t slot : block.reservedSlots) {
        if (slot < codeLength(code) * shape.groups) holes.push_back(static_cast<std::uint32_t>(slot % shape.groups));
    }
    std::sort(holes.begin(), holes.end());
    holes.erase(std::unique(holes.begin(), holes.end()), holes.end());
    return holes;
}

// The columns of a row that carry a block's groups: runs between the holes,
// up to `groups` columns in all. Calls run(column, group, count).
template <typename Run>
void forEachRun(const std::vector<std::uint32_t>& holes, std::uint64_t groups, Run run) {
    std::uint64_t column = 0;
    std::uint64_t group = 0;
    for (std::size_t h = 0; group < groups; ++h) {
        const std::uint64_t end = h < holes.size() ? holes[h] : column + (groups - group);
        const std::uint64_t count = std::min(end - column, groups - group);
        if (count > 0) run(column, group, count);
        group += count;
        column = end + 1;
    }
}

// Copies `count` bits from `from` at bit `source` to `to` at bit `target`
// (`to` zero there).
void copyBits(const std::uint64_t* from, std::uint64_t source, std::uint64_t* to, std::uint64_t target,
              std::uint64_t count) {
    // Bits up to the target's next whole word, then whole target words, each
    // from two source words, then the rest.
    const auto head = static_cast<unsigned>(std::min<std::uint64_t>((64 - target % 64) % 64, count));
    if (head > 0) {
        orBits(to, target, readBits(from, source, head), head);
        source += head;
        target += head;
        count -= head;
    }
    std::uint64_t* out = to + target / 64;
    const std::uint64_t* in = from + source / 64;
    const auto shift = static_cast<unsigned>(source % 64);
    const std::uint64_t words = count / 64;
    if (shift == 0) {
        std::copy(in, in + words, out);
    } else {
        for (std::uint64_t i = 0; i < words; ++i) out[i] = (in[i] >> shift) | (in[i + 1] << (64 - shift));
    }
    const auto tail = static_cast<unsigned>(count % 64);
    if (tail > 0) orBits(to, target + 64 * words, readBits(from, source + 64 * words, tail), tail);
}

// Per-thread working words of one block.
struct Scratch {
    std::vector<std::uint64_t> memory, layout, spare, changes, directions;
    std::vector<std::uint64_t> syndromes, messages, used, share;

    explicit Scratch(unsigned code) {
        for (auto* v : {&memory, &layout, &spare, &changes, &directions}) v->resize(kBlockWords);
        syndromes.resize(code * (kBlockWords + 1));
        messages.resize(code * (kBlockWords + 1));
        used.resize(kBlockWords + 1);
        share.resize(code * kBlockWords + 3);
    }
};

// syndromes[q * rowWords + i]: bit q of the syndromes of groups 64i .. 64i+63.
void computeSyndromes(const std::uint64_t* layout, unsigned code, std::size_t rowWords, std::uint64_t* syndromes) {
    std::fill(syndromes, syndromes + code * rowWords, 0);
    for (std::uint64_t j = 0; j < codeLength(code); ++j) {
        const std::uint64_t* row = layout + j * rowWords;
        for (unsigned q = 0; q < code; ++q) {
            if (((j + 1) >> q & 1) == 0) continue;
            std::uint64_t* out = syndromes + q * rowWords;
            for (std::size_t i = 0; i < rowWords; ++i) out[i] ^= row[i];
        }
    }
}

// Runs `work` on every block, the blocks shared among the processors in runs
// of neighbours; false when any call returned false.
bool forEveryBlock(std::size_t blocks, const std::function<bool(std::size_t first, std::size_t end)>& work) {
    const std::size_t processors = std::max(1U, std::thread::hardware_concurrency());
    const std::size_t threads = std::min<std::size_t>({processors, 8, std::max<std::size_t>(1, blocks / 4)});
    if (threads <= 1) return work(0, blocks);
    std::atomic<bool> allDone{true};
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            if (!work(t * blocks / threads, (t + 1) * blocks / threads)) allDone = false;
            // The thread's stack outlives it in the C library's cache.
            scrubStack();
        });
    }
    for (std::thread& worker : workers) worker.join();
    return allDone;
}

}  // namespace

HiddenLayout::HiddenLayout(const SamplePlane& plane, bool allowGrey)
    : units_(plane, allowGrey), pixels_(plane.pixelCount()), firstSampleStride_(units_.grey() ? 1 : plane.channels) {}

std::uint64_t HiddenLayout::roomBits() const {
    const std::uint64_t whole = units_.count() / 64 * 64;
    if (pixels_ < kReservedUnits || whole <= kReservedUnits) return 0;
    return whole - kReservedUnits;
}

std::vector<std::uint64_t> HiddenLayout::drawReserved(KeyStream& stream, std::uint32_t domain, std::size_t count,
                                                      const std::vector<std::uint64_t>& taken) const {
    std::vector<std::uint64_t> drawn;
    stream.start(domain, 0);
    while (drawn.size() < count) {
        const std::uint64_t unit = stream.below(pixels_) * firstSampleStride_;
        if (std::find(drawn.begin(), drawn.end(), unit) != drawn.end()) continue;
        if (std::find(taken.begin(), taken.end(), unit) != taken.end()) continue;
        drawn.push_back(unit);
    }
    return drawn;
}

std::uint64_t HiddenLayout::readReserved(const std::vector<std::uint64_t>& units, std::size_t first,
                                         std::size_t count) const {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < count; ++i) bits |= std::uint64_t{units_.bit(units[first + i])} << i;
    return bits;
}

void HiddenLayout::writeReserved(const std::vector<std::uint64_t>& units, std::size_t first, std::uint64_t bits,
                                 std::size_t count, KeyStream& changes) {
    for (std::size_t i = 0; i < count; ++i) {
        const bool wanted = (bits >> i & 1) != 0;
        const std::uint64_t unit = units[first + i];
        if (units_.bit(unit) != wanted) units_.step(unit, changes.below(2) == 1);
    }
}

std::optional<HiddenLayout::Plan> HiddenLayout::plan(const SecretBytes& layoutKey,
                                                     const std::vector<std::uint64_t>& reserved,
                                                     std::uint64_t bits) const {
    KeyStream stream(layoutKey);
    if (!stream.ready() || bits == 0 || bits > roomBits()) return std::nullopt;
    Plan plan;
    plan.sharedOrder = BlockShuffle::sharedOrder(stream);
    const std::uint64_t words = units_.count() / 64;
    for (std::uint64_t first = 0; first < words; first += kBlockWords) {
        Block block;
        block.firstWord = first;
        block.words = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockWords, words - first));
        plan.blocks.push_back(std::move(block));
    }
    // Where the reserved units lie in their blocks' layout order.
    for (const std::uint64_t unit : reserved) {
        if (unit >= 64 * words) continue;
        Block& block = plan.blocks[unit / kBlockUnits];
        BlockShuffle shuffle;
        if (!shuffle.prepare(stream, unit / kBlockUnits, block.words, plan.sharedOrder)) return std::nullopt;
        block.reservedSlots.push_back(shuffle.slotOf(gatheredBit(unit % kBlockUnits, block.words)));
    }
    // The largest code whose groups hold the body; then, taking the blocks in
    // a keyed order, as many as can be as many as can take the next code
    // up, which changes fewer units per bit.
    const auto roomOf = [](const Block& block, unsigned code) {
        return shapeOf(block.words, code).groups - holesOf(block, code).size();
    };
    const auto bitsOf = [&](unsigned code) {
        std::uint64_t total = 0;
        for (const Block& block : plan.blocks) total += code * roomOf(block, code);
        return total;
    };
    unsigned code = kLargestCode;
    while (code > 0 && bitsOf(code) < bits) --code;
    if (code == 0) return std::nullopt;
    // A keyed order of the blocks, so that neither the blocks raised to the
    // next code nor, for a small body, those that carry anything lie
    // together in one part of the picture.
    std::vector<Block*> order;
    for (Block& block : plan.blocks) order.push_back(&block);
    stream.start(kBlockOrderDomain, 0);
    for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[stream.below(i)]);
    std::uint64_t total = bitsOf(code);
    std::size_t raised = 0;
    for (; code < kLargestCode && raised < order.size(); ++raised) {
        const std::uint64_t lost = code * roomOf(*order[raised], code);
        const std::uint64_t gained = (code + 1) * roomOf(*order[raised], code + 1);
        if (total - lost + gained < bits) break;
        total = total - lost + gained;
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i]->code = i < raised ? code + 1 : code;
        order[i]->holes = holesOf(*order[i], order[i]->code);
    }
    // The body's first part goes to the raised blocks and the rest to the
    // others, each part in proportion to its room; in each part, every block
    // takes a share of groups in proportion to its room.
    std::uint64_t raisedBits = 0;
    for (std::size_t i = 0; i < raised; ++i) raisedBits += order[i]->code * roomOf(*order[i], order[i]->code);
    const std::uint64_t split = scaled(bits, raisedBits, total);
    const auto share = [&](std::size_t first, std::size_t end, std::uint64_t from, std::uint64_t to) {
        if (first == end) return;
        const unsigned partCode = order[first]->code;
        std::uint64_t room = 0;
        for (std::size_t i = first; i < end; ++i) room += order[i]->code == partCode ? roomOf(*order[i], partCode) : 0;
        const std::uint64_t groups = (to - from + partCode - 1) / partCode;
        std::uint64_t before = 0;
        std::uint64_t given = 0;
        for (std::size_t i = first; i < end; ++i) {
            Block& block = *order[i];
            const std::uint64_t blockRoom = shapeOf(block.words, partCode).groups - block.holes.size();
            block.groups = scaled(groups, before + blockRoom, room) - scaled(groups, before, room);
            block.offset = from + given * partCode;
            block.end = to;
            before += blockRoom;
            given += block.groups;
        }
    };
    share(0, raised, 0, split);
    share(raised, order.size(), split, bits);
    return plan;
}

bool HiddenLayout::fits(const SecretBytes& layoutKey, const std::vector<std::uint64_t>& reserved,
                        std::uint64_t bits) const {
    return plan(layoutKey, reserved, bits).has_value();
}

bool HiddenLayout::embed(const SecretBytes& layoutKey, const SecretBytes& changeKey,
                         const std::vector<std::uint64_t>& reserved, const std::uint64_t* body, std::uint64_t bits) {
    const std::optional<Plan> planned = plan(layoutKey, reserved, bits);
    if (!planned) return false;
    const Plan& plan = *planned;
    return forEveryBlock(plan.blocks.size(), [&](std::size_t firstBlock, std::size_t endBlock) {
        KeyStream layoutStream(layoutKey);
        KeyStream changeStream(changeKey);
        if (!layoutStream.ready() || !changeStream.ready()) return false;
        Scratch s(kLargestCode);
        BlockShuffle shuffle;
        for (std::size_t b = firstBlock; b < endBlock; ++b) {
            const Block& block = plan.blocks[b];
            if (block.groups == 0) continue;
            const unsigned code = block.code;
            const std::uint64_t rows = codeLength(code);
            const Shape shape = shapeOf(block.words, code);
            const std::size_t rowWords = shape.rowWords;
            if (!shuffle.prepare(layoutStream, b, block.words, plan.sharedOrder)) return false;
            units_.gather(64 * block.firstWord, block.words, s.memory.data());
            shuffle.forward(s.memory.data(), s.layout.data(), s.spare.data());
            computeSyndromes(s.layout.data(), code, rowWords, s.syndromes.data());
            // The message of each group, and which groups carry one.
            std::fill_n(s.messages.begin(), code * (rowWords + 1), 0);
            forEachRun(block.holes, block.groups, [&](std::uint64_t column, std::uint64_t group, std::uint64_t count) {
                for (unsigned q = 0; q < code; ++q) {
                    copyBits(body, block.offset + q * block.groups + group, s.messages.data() + q * (rowWords + 1),
                             column, count);
                }
            });
            // The groups used: the first columns up to the last one with a
            // group, less the holes among them.
            std::uint64_t usedColumns = block.groups;
            for (const std::uint32_t hole : block.holes) usedColumns += hole < usedColumns ? 1 : 0;
            std::fill_n(s.used.begin(), rowWords + 1, 0);
            std::fill_n(s.used.begin(), usedColumns / 64, ~std::uint64_t{0});
            if (usedColumns % 64 != 0) s.used[usedColumns / 64] = lowBits(static_cast<unsigned>(usedColumns % 64));
            for (const std::uint32_t hole : block.holes) {
                if (hole < usedColumns) s.used[hole / 64] &= ~(std::uint64_t{1} << (hole % 64));
            }
            // The one change of a group is at the row its syndrome and message
            // differ by.
            std::fill(s.changes.begin(), s.changes.begin() + static_cast<std::ptrdiff_t>(block.words), 0);
            if (code == 1) {
                for (std::size_t i = 0; i < rowWords; ++i) {
                    s.changes[i] = (s.syndromes[i] ^ s.messages[i]) & s.used[i];
                }
            }
            for (std::size_t i = 0; code > 1 && i < rowWords; ++i) {
                std::uint64_t differ[kLargestCode];
                for (unsigned q = 0; q < code; ++q) {
                    differ[q] = (s.syndromes[q * rowWords + i] ^ s.messages[q * (rowWords + 1) + i]) & s.used[i];
                }
                for (std::uint64_t j = 0; j < rows; ++j) {
                    std::uint64_t match = ~std::uint64_t{0};
                    for (unsigned q = 0; q < code; ++q) match &= ((j + 1) >> q & 1) != 0 ? differ[q] : ~differ[q];
                    s.changes[j * rowWords + i] = match;
                }
            }
            shuffle.inverse(s.changes.data(), s.memory.data(), s.spare.data());
            if (!changeStream.fill(kDirectionDomain, b, reinterpret_cast<unsigned char*>(s.directions.data()),
                                   block.words * sizeof(std::uint64_t))) {
                return false;
            }
            units_.apply(64 * block.firstWord, block.words, s.memory.data(), s.directions.data());
        }
        return true;
    });
}

bool HiddenLayout::extract(const SecretBytes& layoutKey, const std::vector<std::uint64_t>& reserved,
                           std::uint64_t* body, std::uint64_t bits) const {
    const std::optional<Plan> planned = plan(layoutKey, reserved, bits);
    if (!planned) return false;
    const Plan& plan = *planned;
    std::fill(body, body + (bits + 63) / 64 + 1, 0);
    return forEveryBlock(plan.blocks.size(), [&](std::size_t firstBlock, std::size_t endBlock) {
        KeyStream layoutStream(layoutKey);
        if (!layoutStream.ready()) return false;
        Scratch s(kLargestCode);
        BlockShuffle shuffle;
        for (std::size_t b = firstBlock; b < endBlock; ++b) {
            const Block& block = plan.blocks[b];
            if (block.groups == 0) continue;
            const unsigned code = block.code;
            const std::size_t rowWords = shapeOf(block.words, code).rowWords;
            if (!shuffle.prepare(layoutStream, b, block.words, plan.sharedOrder)) return false;
            units_.gather(64 * block.firstWord, block.words, s.memory.data());
            shuffle.forward(s.memory.data(), s.layout.data(), s.spare.data());
            computeSyndromes(s.layout.data(), code, rowWords, s.syndromes.data());
            // The share, gathered at the bit offset it has in its first word of
            // the body; that word and the last may hold bits of other blocks'
            // shares, written by other threads, so those two are ORed in
            // atomically and the rest stored. A part's last group may run
            // into the next part, whose blocks write those bits.
            const std::uint64_t shift = block.offset % 64;
            const std::uint64_t shareBits = std::min(code * block.groups, block.end - block.offset);
            const std::size_t shareWords = static_cast<std::size_t>((shift + shareBits + 63) / 64);
            std::fill_n(s.share.begin(), shareWords + 1, 0);
            forEachRun(block.holes, block.groups, [&](std::uint64_t column, std::uint64_t group, std::uint64_t count) {
                for (unsigned q = 0; q < code; ++q) {
                    copyBits(s.syndromes.data() + q * rowWords, column, s.share.data(), shift + q * block.groups + group,
                             count);
                }
            });
            if ((shift + shareBits) % 64 != 0) s.share[shareWords - 1] &= lowBits(static_cast<unsigned>((shift + shareBits) % 64));
            std::uint64_t* to = body + block.offset / 64;
            for (std::size_t w = 0; w < shareWords; ++w) {
                if (w == 0 || w + 1 == shareWords) {
                    std::atomic_ref<std::uint64_t>(to[w]).fetch_or(s.share[w]);
                } else {
                    to[w] = s.share[w];
                }
            }
        }
        return true;
    });
}

}  // namespace glint
