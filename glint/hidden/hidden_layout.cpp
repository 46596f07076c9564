#include "hidden/hidden_layout.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <functional>
#include <initializer_list>
#include <memory>
#include <thread>
#include <utility>

#include "layout/bit_words.h"
#include "hidden/block_shuffle.h"
#include "hidden/hidden_parts.h"

namespace glint {
namespace {

constexpr std::uint32_t kBlockOrderDomain = 3;  // the order in which blocks take their shares

std::uint64_t codeLength(unsigned code) { return (std::uint64_t{1} << code) - 1; }

// The rows of groups of a segment of `words` layout words at code size `code`.
struct Shape {
    std::size_t rowWords;  // words of one row of groups
    std::uint64_t groups;  // 64 * rowWords
};

Shape shapeOf(std::size_t words, unsigned code) {
    const std::size_t rowWords = words / codeLength(code);
    return {rowWords, 64 * std::uint64_t{rowWords}};
}

// The groups of segment [start, start + words) of a block at code size
// `code` that carry nothing: those with (L + 1) / 2 kept units or more,
// where one of them might have to change and no pair of other units could
// change in its place.
std::vector<std::uint32_t> holesOf(const std::vector<std::uint64_t>& keptSlots, std::size_t start,
                                   std::size_t words, unsigned code) {
    const Shape shape = shapeOf(words, code);
    const std::uint64_t length = codeLength(code);
    std::vector<std::uint32_t> hit;
    for (const std::uint64_t slot : keptSlots) {
        if (slot < 64 * start) continue;
        const std::uint64_t at = slot - 64 * start;
        if (at < length * shape.groups) hit.push_back(static_cast<std::uint32_t>(at % shape.groups));
    }
    std::sort(hit.begin(), hit.end());
    std::vector<std::uint32_t> holes;
    for (std::size_t i = 0; i < hit.size();) {
        std::size_t same = i;
        while (same < hit.size() && hit[same] == hit[i]) ++same;
        if (2 * (same - i) >= length + 1) holes.push_back(hit[i]);
        i = same;
    }
    return holes;
}

std::uint64_t roomOf(const HiddenLayout::Block& block, std::size_t start, std::size_t words, unsigned code) {
    return shapeOf(words, code).groups - holesOf(block.keptSlots, start, words, code).size();
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
    std::vector<std::uint64_t> memory, layout, spare, changes, directions, keep, skipped;
    std::vector<std::uint64_t> syndromes, messages, used, share;

    Scratch() {
        for (auto* v : {&memory, &layout, &spare, &changes, &directions, &keep, &skipped}) v->resize(kBlockWords);
        syndromes.resize(kLargestCode * (kBlockWords + 1));
        messages.resize(kLargestCode * (kBlockWords + 1));
        used.resize(kBlockWords + 1);
        share.resize(kLargestCode * kBlockWords + 3);
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

// The changes that hide a segment's share of `body`, into `changes` (its
// layout words, zero there), from the units' bits in `layout`.
void segmentChanges(const HiddenLayout::Segment& segment, const std::uint64_t* layout, const std::uint64_t* body,
                    std::uint64_t* changes, Scratch& s) {
    const unsigned code = segment.code;
    const std::uint64_t rows = codeLength(code);
    const std::size_t rowWords = shapeOf(segment.words, code).rowWords;
    computeSyndromes(layout, code, rowWords, s.syndromes.data());
    // The message of each group, and which groups carry one.
    std::fill_n(s.messages.begin(), code * (rowWords + 1), 0);
    forEachRun(segment.holes, segment.groups, [&](std::uint64_t column, std::uint64_t group, std::uint64_t count) {
        for (unsigned q = 0; q < code; ++q) {
            copyBits(body, segment.offset + q * segment.groups + group, s.messages.data() + q * (rowWords + 1), column,
                     count);
        }
    });
    // The groups used: the first columns up to the last one with a group,
    // less the holes among them.
    std::uint64_t usedColumns = segment.groups;
    for (const std::uint32_t hole : segment.holes) usedColumns += hole < usedColumns ? 1 : 0;
    std::fill_n(s.used.begin(), rowWords + 1, 0);
    std::fill_n(s.used.begin(), usedColumns / 64, ~std::uint64_t{0});
    if (usedColumns % 64 != 0) s.used[usedColumns / 64] = lowBits(static_cast<unsigned>(usedColumns % 64));
    for (const std::uint32_t hole : segment.holes) {
        if (hole < usedColumns) s.used[hole / 64] &= ~(std::uint64_t{1} << (hole % 64));
    }
    // The one change of a group is at the row its syndrome and message
    // differ by.
    if (code == 1) {
        for (std::size_t i = 0; i < rowWords; ++i) changes[i] = (s.syndromes[i] ^ s.messages[i]) & s.used[i];
        return;
    }
    for (std::size_t i = 0; i < rowWords; ++i) {
        std::uint64_t differ[kLargestCode];
        for (unsigned q = 0; q < code; ++q) {
            differ[q] = (s.syndromes[q * rowWords + i] ^ s.messages[q * (rowWords + 1) + i]) & s.used[i];
        }
        for (std::uint64_t j = 0; j < rows; ++j) {
            std::uint64_t match = ~std::uint64_t{0};
            for (unsigned q = 0; q < code; ++q) match &= ((j + 1) >> q & 1) != 0 ? differ[q] : ~differ[q];
            changes[j * rowWords + i] = match;
        }
    }
}

// A segment's share of the body, read from the units' bits in `layout` and
// ORed into `body`: the words at its two ends may hold bits of other
// segments' shares, written by other threads, so those two are ORed in
// atomically and the rest stored. A part's last group may run into the next
// part, whose segments write those bits.
void readShare(const HiddenLayout::Segment& segment, const std::uint64_t* layout, std::uint64_t* body, Scratch& s) {
    const unsigned code = segment.code;
    const std::size_t rowWords = shapeOf(segment.words, code).rowWords;
    computeSyndromes(layout, code, rowWords, s.syndromes.data());
    const std::uint64_t shift = segment.offset % 64;
    const std::uint64_t shareBits = std::min(code * segment.groups, segment.end - segment.offset);
    const std::size_t shareWords = static_cast<std::size_t>((shift + shareBits + 63) / 64);
    std::fill_n(s.share.begin(), shareWords + 1, 0);
    forEachRun(segment.holes, segment.groups, [&](std::uint64_t column, std::uint64_t group, std::uint64_t count) {
        for (unsigned q = 0; q < code; ++q) {
            copyBits(s.syndromes.data() + q * rowWords, column, s.share.data(), shift + q * segment.groups + group, count);
        }
    });
    if ((shift + shareBits) % 64 != 0) s.share[shareWords - 1] &= lowBits(static_cast<unsigned>((shift + shareBits) % 64));
    std::uint64_t* to = body + segment.offset / 64;
    for (std::size_t w = 0; w < shareWords; ++w) {
        if (w == 0 || w + 1 == shareWords) {
            std::atomic_ref<std::uint64_t>(to[w]).fetch_or(s.share[w]);
        } else {
            to[w] = s.share[w];
        }
    }
}

void set(std::vector<std::uint64_t>& words, std::uint64_t bit) { words[bit / 64] |= std::uint64_t{1} << (bit % 64); }

}  // namespace

// Runs `work` on every item (blocks or spans), the items shared among the
// processors in runs of neighbours, at least `fewestPerThread` to a thread;
// false when any call returned false.
bool forEvery(std::size_t items, std::size_t fewestPerThread,
              const std::function<bool(std::size_t first, std::size_t end)>& work) {
    const std::size_t processors = std::max(1U, std::thread::hardware_concurrency());
    const std::size_t threads =
        std::min<std::size_t>({processors, 8, std::max<std::size_t>(1, items / fewestPerThread)});
    if (threads <= 1) return work(0, items);
    std::atomic<bool> allDone{true};
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            if (!work(t * items / threads, (t + 1) * items / threads)) allDone = false;
            // The thread's stack outlives it in the C library's cache.
            scrubStack();
        });
    }
    for (std::thread& worker : workers) worker.join();
    return allDone;
}

HiddenLayout::HiddenLayout(const SamplePlane& plane, bool allowGrey)
    : units_(plane, allowGrey),
      drawablePixels_(plane.pixelCount() / 64 * 64),
      firstSampleStride_(units_.grey() ? 1 : plane.channels) {
    // Twice as many pixels to draw from as kept units keeps the draws short.
    const auto keptWith = [](std::size_t perBit) { return kAnchorUnits + (kSeedBits + kLengthBits) * perBit; };
    unitsPerReservedBit_ = drawablePixels_ >= 2 * keptWith(kWideReservedBits) ? kWideReservedBits : kNarrowReservedBits;
    keptUnits_ = keptWith(unitsPerReservedBit_);
}

std::uint64_t HiddenLayout::roomBits() const {
    const std::uint64_t whole = units_.count() / 64 * 64;
    if (drawablePixels_ < 2 * keptUnits_ || whole <= keptUnits_) return 0;
    return whole - keptUnits_;
}

std::vector<std::uint64_t> HiddenLayout::anchors() const {
    std::vector<std::uint64_t> units;
    for (std::uint64_t i = 0; i < kAnchorUnits; ++i) {
        units.push_back((2 * i + 1) * drawablePixels_ / (2 * kAnchorUnits) * firstSampleStride_);
    }
    return units;
}

std::vector<std::uint64_t> HiddenLayout::drawReserved(KeyStream& stream, std::uint32_t domain, std::size_t bits,
                                                      const std::vector<std::uint64_t>& taken) const {
    std::vector<std::uint64_t> drawn;
    std::vector<std::uint64_t> sortedTaken = taken;
    std::sort(sortedTaken.begin(), sortedTaken.end());
    stream.start(domain, 0);
    while (drawn.size() < bits * unitsPerReservedBit_) {
        const std::uint64_t unit = stream.below(drawablePixels_) * firstSampleStride_;
        if (std::find(drawn.begin(), drawn.end(), unit) != drawn.end()) continue;
        if (std::binary_search(sortedTaken.begin(), sortedTaken.end(), unit)) continue;
        drawn.push_back(unit);
    }
    return drawn;
}

std::optional<HiddenLayout::Plan> HiddenLayout::plan(const SecretBytes& layoutKey,
                                                     const std::vector<std::uint64_t>& kept,
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
    // Where the kept units lie in their blocks' words and layout order.
    for (const std::uint64_t unit : kept) {
        if (unit >= 64 * words) continue;
        Block& block = plan.blocks[unit / kBlockUnits];
        block.keptBits.push_back(gatheredBit(unit % kBlockUnits, block.words));
    }
    BlockShuffle shuffle;
    for (std::size_t b = 0; b < plan.blocks.size(); ++b) {
        Block& block = plan.blocks[b];
        if (block.keptBits.empty()) continue;
        if (!shuffle.prepare(stream, b, block.words, plan.sharedOrder)) return std::nullopt;
        for (const std::uint64_t bit : block.keptBits) block.keptSlots.push_back(shuffle.slotOf(bit));
    }
    if (5 * bits <= 3 * roomBits()) {
        // Up to 3/5 of the room, the trellis (half of what `capacity -p`
        // gives is a little more than half the room).
        plan.trellis = true;
        shareAmongTrellises(plan, bits);
        return plan;
    }
    // The largest code whose groups hold the body.
    const auto bitsOf = [&](unsigned code) {
        std::uint64_t total = 0;
        for (const Block& block : plan.blocks) total += code * roomOf(block, 0, block.words, code);
        return total;
    };
    unsigned code = kLargestCode;
    while (code > 0 && bitsOf(code) < bits) --code;
    if (code == 0) return std::nullopt;
    // Then, taking the blocks in a keyed order, as many as can take the next
    // code up, which changes fewer units per bit, and the first words of the
    // next one; so that neither the blocks raised to the next code nor, for a
    // small body, those that carry anything lie together in one part of the
    // picture.
    std::vector<Block*> order;
    for (Block& block : plan.blocks) order.push_back(&block);
    stream.start(kBlockOrderDomain, 0);
    for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[stream.below(i)]);
    std::uint64_t total = bitsOf(code);
    std::size_t raised = 0;
    std::size_t splitWords = 0;
    if (code < kLargestCode) {
        for (; raised < order.size(); ++raised) {
            const Block& block = *order[raised];
            const std::uint64_t lost = code * roomOf(block, 0, block.words, code);
            const std::uint64_t gained = (code + 1) * roomOf(block, 0, block.words, code + 1);
            if (total - lost + gained < bits) break;
            total = total - lost + gained;
        }
        if (raised < order.size()) {
            const Block& block = *order[raised];
            const std::size_t length = static_cast<std::size_t>(codeLength(code + 1));
            const std::uint64_t lost = code * roomOf(block, 0, block.words, code);
            for (std::size_t w = block.words / length * length; w >= length; w -= length) {
                const std::uint64_t gained =
                    (code + 1) * roomOf(block, 0, w, code + 1) + code * roomOf(block, w, block.words - w, code);
                if (total - lost + gained < bits) continue;
                total = total - lost + gained;
                splitWords = w;
                break;
            }
        }
    }
    std::vector<Segment*> upper, lower;
    for (std::size_t i = 0; i < order.size(); ++i) {
        Block& block = *order[i];
        if (i < raised) {
            block.segments = {Segment{0, block.words, code + 1, {}}};
        } else if (i == raised && splitWords > 0) {
            block.segments = {Segment{0, splitWords, code + 1, {}}, Segment{splitWords, block.words - splitWords, code, {}}};
        } else {
            block.segments = {Segment{0, block.words, code, {}}};
        }
        for (Segment& segment : block.segments) {
            segment.holes = holesOf(block.keptSlots, segment.start, segment.words, segment.code);
            (segment.code > code ? upper : lower).push_back(&segment);
        }
    }
    // The body's first part goes to the segments of the next code up and the
    // rest to the others, each part in proportion to its room; in each part,
    // every segment takes a share of groups in proportion to its room.
    const auto roomOfSegment = [](const Segment& segment) {
        return shapeOf(segment.words, segment.code).groups - segment.holes.size();
    };
    std::uint64_t upperBits = 0;
    for (const Segment* segment : upper) upperBits += segment->code * roomOfSegment(*segment);
    const std::uint64_t split = scaled(bits, upperBits, total);
    const auto share = [&](const std::vector<Segment*>& part, std::uint64_t from, std::uint64_t to) {
        if (part.empty()) return;
        const unsigned partCode = part.front()->code;
        std::uint64_t room = 0;
        for (const Segment* segment : part) room += roomOfSegment(*segment);
        const std::uint64_t groups = (to - from + partCode - 1) / partCode;
        std::uint64_t before = 0;
        std::uint64_t given = 0;
        for (Segment* segment : part) {
            const std::uint64_t segmentRoom = roomOfSegment(*segment);
            segment->groups = scaled(groups, before + segmentRoom, room) - scaled(groups, before, room);
            segment->offset = from + given * partCode;
            segment->end = to;
            before += segmentRoom;
            given += segment->groups;
        }
    };
    share(upper, 0, split);
    share(lower, split, bits);
    return plan;
}

bool HiddenLayout::fits(const SecretBytes& layoutKey, const std::vector<std::uint64_t>& kept,
                        std::uint64_t bits) const {
    return plan(layoutKey, kept, bits).has_value();
}

namespace {

bool carriesAnything(const HiddenLayout::Block& block) {
    return block.endBit > block.firstBit ||
           std::any_of(block.segments.begin(), block.segments.end(),
                       [](const HiddenLayout::Segment& segment) { return segment.groups > 0; });
}

// Block `b`'s shuffle prepared, and its units' bits in layout order in
// s.layout: what a hide and a recovery both start a block with.
bool layOut(const SampleUnits& units, const HiddenLayout::Plan& plan, std::size_t b, KeyStream& layoutStream,
            BlockShuffle& shuffle, Scratch& s) {
    const HiddenLayout::Block& block = plan.blocks[b];
    if (!shuffle.prepare(layoutStream, b, block.words, plan.sharedOrder)) return false;
    units.gather(64 * block.firstWord, block.words, s.memory.data());
    shuffle.forward(s.memory.data(), s.layout.data(), s.spare.data());
    return true;
}

// The changes that hide the block's share of `body`, in layout order in
// s.changes.
void blockChanges(const HiddenLayout::Block& block, const std::uint64_t* body, Scratch& s) {
    std::fill_n(s.changes.begin(), block.words, 0);
    for (const HiddenLayout::Segment& segment : block.segments) {
        if (segment.groups == 0) continue;
        segmentChanges(segment, s.layout.data() + segment.start, body, s.changes.data() + segment.start, s);
    }
}

}  // namespace

namespace {

// Where a gathered bit's unit lies among its segment's groups, and the bits
// of the other units of its group.
struct GroupPlace {
    const BlockShuffle& shuffle;
    const HiddenLayout::Segment* segment = nullptr;
    std::uint64_t groups = 0, row = 0, group = 0, length = 0;

    GroupPlace(const HiddenLayout::Block& block, const BlockShuffle& s, std::uint64_t bit) : shuffle(s) {
        const std::uint64_t slot = shuffle.slotOf(bit);
        for (const HiddenLayout::Segment& candidate : block.segments) {
            if (slot >= 64 * candidate.start && slot < 64 * (candidate.start + candidate.words)) segment = &candidate;
        }
        groups = shapeOf(segment->words, segment->code).groups;
        const std::uint64_t at = slot - 64 * segment->start;
        row = at / groups + 1;
        group = at % groups;
        length = codeLength(segment->code);
    }
    // The gathered bit of the group's unit in row `r` (from 1).
    std::uint64_t bitAtRow(std::uint64_t r) const {
        return shuffle.bitOf(64 * segment->start + (r - 1) * groups + group);
    }
};

// Words of changes looked at for lone pixels where steps are not steered:
// about this many over the whole picture, spread evenly, so that counting
// costs a large picture no more than a small one.
constexpr std::uint64_t kLoneSampleWords = 4096;

// Of a block's changes, not steered, an estimate of those that left a pixel
// lone: the changes made in every `stride`-th word whose pixel is lone once
// the block's changes are made, times the stride.
std::uint64_t unsteeredLonePixels(const SampleUnits& units, const HiddenLayout::Block& block, std::uint64_t stride,
                                  const std::uint64_t* changes, const std::uint64_t* skipped, std::uint64_t firstOwned,
                                  std::uint64_t endOwned) {
    std::uint64_t lone = 0;
    for (std::uint64_t w = (stride - block.firstWord % stride) % stride; w < block.words; w += stride) {
        for (std::uint64_t left = changes[w] & ~skipped[w]; left != 0; left &= left - 1) {
            const std::uint64_t bit = 64 * w + static_cast<unsigned>(std::countr_zero(left));
            lone += units.isLone(64 * block.firstWord + unitAtGatheredBit(bit, block.words), firstOwned, endOwned) ? 1 : 0;
        }
    }
    return lone * stride;
}

}  // namespace

bool HiddenLayout::replaceSkipped(const Block& block, const BlockShuffle& shuffle, std::uint64_t bit,
                                  const std::vector<std::uint64_t>& keep, std::vector<std::uint64_t>& changes,
                                  const Stepper& stepper) {
    const GroupPlace place(block, shuffle, bit);
    const auto step = [&](std::uint64_t b) {
        stepper.step(b);
        set(changes, b);
    };
    // Two other units of the group whose rows XOR to this one's, neither of
    // them kept nor changed already; at neither end if there are such.
    std::uint64_t fallback[2] = {};
    bool haveFallback = false;
    for (std::uint64_t a = 1; a <= place.length; ++a) {
        const std::uint64_t b = a ^ place.row;
        if (b <= a || b > place.length) continue;
        const std::uint64_t pair[2] = {place.bitAtRow(a), place.bitAtRow(b)};
        if (isSet(keep, pair[0]) || isSet(keep, pair[1]) || isSet(changes, pair[0]) || isSet(changes, pair[1])) {
            continue;
        }
        if (!units_.atEnd(stepper.unitOf(pair[0])) && !units_.atEnd(stepper.unitOf(pair[1]))) {
            step(pair[0]);
            step(pair[1]);
            return true;
        }
        if (!haveFallback) {
            fallback[0] = pair[0];
            fallback[1] = pair[1];
            haveFallback = true;
        }
    }
    // Else the unit itself, the one way it can go; a kept one never changes,
    // and its group (not a hole) has a pair of others.
    if (!isSet(keep, bit)) {
        step(bit);
        return true;
    }
    if (!haveFallback) return false;
    step(fallback[0]);
    step(fallback[1]);
    return true;
}

namespace {

// The units of blocks [first, end) of the plan.
std::uint64_t firstUnitOf(const HiddenLayout::Plan& plan, std::size_t first) { return 64 * plan.blocks[first].firstWord; }
std::uint64_t endUnitOf(const HiddenLayout::Plan& plan, std::size_t end) {
    return 64 * (plan.blocks[end - 1].firstWord + plan.blocks[end - 1].words);
}

}  // namespace

bool HiddenLayout::embed(const SecretBytes& layoutKey, const SecretBytes& changeKey,
                         const std::vector<std::uint64_t>& kept, const std::uint64_t* body, std::uint64_t bits,
                         std::uint64_t payloadBits) {
    const std::optional<Plan> planned = plan(layoutKey, kept, bits);
    if (!planned) return false;
    const Plan& plan = *planned;
    if (!plan.trellis) return embedInSegments(plan, changeKey, layoutKey, body);
    return embedInTrellises(plan, layoutKey, changeKey, body, bits, payloadBits);
}

bool HiddenLayout::embedInSegments(const Plan& plan, const SecretBytes& changeKey, const SecretBytes& layoutKey,
                                   const std::uint64_t* body) {
    std::atomic<std::uint64_t> lonePixels{0};
    const std::uint64_t loneStride = std::max<std::uint64_t>(1, units_.count() / 64 / kLoneSampleWords);
    const bool embedded = forEvery(plan.blocks.size(), 4, [&](std::size_t firstBlock, std::size_t endBlock) {
        KeyStream layoutStream(layoutKey);
        KeyStream changeStream(changeKey);
        if (!layoutStream.ready() || !changeStream.ready()) return false;
        Scratch s;
        BlockShuffle shuffle;
        std::uint64_t threadLonePixels = 0;
        const std::uint64_t firstOwned = firstBlock < endBlock ? firstUnitOf(plan, firstBlock) : 0;
        const std::uint64_t endOwned = firstBlock < endBlock ? endUnitOf(plan, endBlock) : 0;
        for (std::size_t b = firstBlock; b < endBlock; ++b) {
            const Block& block = plan.blocks[b];
            if (!carriesAnything(block)) continue;
            if (!layOut(units_, plan, b, layoutStream, shuffle, s)) return false;
            if (!changeStream.fill(kDirectionDomain, b, reinterpret_cast<unsigned char*>(s.directions.data()),
                                   block.words * sizeof(std::uint64_t))) {
                return false;
            }
            std::fill_n(s.keep.begin(), block.words, 0);
            for (const std::uint64_t bit : block.keptBits) set(s.keep, bit);
            const Stepper stepper{units_, nullptr, false, false, s.directions, block, firstOwned, endOwned, threadLonePixels};
            blockChanges(block, body, s);
            shuffle.inverse(s.changes.data(), s.memory.data(), s.spare.data());
            units_.apply(64 * block.firstWord, block.words, s.memory.data(), s.directions.data(), s.keep.data(),
                         s.skipped.data());
            threadLonePixels +=
                unsteeredLonePixels(units_, block, loneStride, s.memory.data(), s.skipped.data(), firstOwned, endOwned);
            // Kept units, and units at an end, that were to change.
            for (std::size_t w = 0; w < block.words; ++w) {
                for (std::uint64_t left = s.skipped[w]; left != 0; left &= left - 1) {
                    const std::uint64_t bit = 64 * w + static_cast<unsigned>(std::countr_zero(left));
                    if (!replaceSkipped(block, shuffle, bit, s.keep, s.memory, stepper)) return false;
                }
            }
        }
        lonePixels += threadLonePixels;
        return true;
    });
    lonePixels_ = reservedLonePixels_ + lonePixels;
    return embedded;
}

bool HiddenLayout::extract(const SecretBytes& layoutKey, const std::vector<std::uint64_t>& kept,
                           std::uint64_t* body, std::uint64_t bits) const {
    const std::optional<Plan> planned = plan(layoutKey, kept, bits);
    if (!planned) return false;
    const Plan& plan = *planned;
    std::fill(body, body + (bits + 63) / 64 + 1, 0);
    if (plan.trellis) return extractFromTrellises(plan, layoutKey, body);
    return forEvery(plan.blocks.size(), 4, [&](std::size_t firstBlock, std::size_t endBlock) {
        KeyStream layoutStream(layoutKey);
        if (!layoutStream.ready()) return false;
        Scratch s;
        BlockShuffle shuffle;
        for (std::size_t b = firstBlock; b < endBlock; ++b) {
            const Block& block = plan.blocks[b];
            if (!carriesAnything(block)) continue;
            if (!layOut(units_, plan, b, layoutStream, shuffle, s)) return false;
            for (const Segment& segment : block.segments) {
                if (segment.groups > 0) readShare(segment, s.layout.data() + segment.start, body, s);
            }
        }
        return true;
    });
}

}  // namespace glint
