#include "hidden/hidden_layout.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <memory>
#include <thread>
#include <utility>

#include "coding/trellis_code.h"
#include "layout/bit_words.h"
#include "hidden/block_shuffle.h"

namespace glint {
namespace {

constexpr std::uint64_t kBlockUnits = 64 * kBlockWords;
constexpr std::uint32_t kBlockOrderDomain = 3;  // the order in which blocks take their shares
constexpr std::uint32_t kDirectionDomain = 4;  // +1 or -1 for each unit of a block

// Blocks of a span at most: the trellises of a span take their units from
// all of its blocks, so that a block of flat samples has its share carried
// where its span is busy.
constexpr std::size_t kSpanBlocks = 8;

// The layout slot that trellis `t` of a span of `blocks` blocks takes from
// its block `c` in round `round`: the slots of a block are dealt to the
// trellises in turn, the first one to trellis c.
std::uint64_t trellisSlot(std::size_t blocks, std::size_t t, std::size_t c, std::uint64_t round) {
    return blocks * round + (t + blocks - c) % blocks;
}

// A picture of m spans has every m-th block in one span, so that a span's
// blocks lie all over it: block c of span k is block k + m * c.
std::size_t spanBlock(const HiddenLayout::Plan& plan, std::size_t span, std::size_t c) { return span + plan.spans * c; }
std::size_t spanBlocks(const HiddenLayout::Plan& plan, std::size_t span) {
    return (plan.blocks.size() - span + plan.spans - 1) / plan.spans;
}

std::uint64_t codeLength(unsigned code) { return (std::uint64_t{1} << code) - 1; }

// a * b / c, rounded down, without overflow (a, b <= c).
std::uint64_t scaled(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    __extension__ using Wide = unsigned __int128;
    return static_cast<std::uint64_t>(Wide{a} * b / c);
}

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

bool isSet(const std::vector<std::uint64_t>& words, std::uint64_t bit) { return (words[bit / 64] >> (bit % 64) & 1) != 0; }

void set(std::vector<std::uint64_t>& words, std::uint64_t bit) { words[bit / 64] |= std::uint64_t{1} << (bit % 64); }

constexpr unsigned kBothSteps = kLoneUp | kLoneDown;

// What a flip costs (coding/trellis_code.h): a texture cost, the flatter
// the samples around the more (from 256 where they are all alike), as a
// change among still samples is seen and one among busy ones is not; times
// a factor where every step would leave a lone pixel (a flat patch), where
// the step can only go one way (at 0 or the largest value), or only to a
// colour the picture lacks.
constexpr float kTextureCost = 1024;
constexpr float kTextureFloor = 4;
constexpr std::uint8_t kLoneFactor = 8;
constexpr std::uint8_t kOneWayFactor = 2;
constexpr std::uint8_t kNewColourFactor = 8;
// Changes per hidden bit up to about a quarter of the room, the seed's and
// the length's included, within the 0.25 promised there; beyond, no more
// flips per bit than the Hamming code of two bits makes. Where the costs
// drive flips past that (a span mostly flat, its busy part carrying nearly
// all), the costs are evened out and the trellis run again: each time the
// texture costs' ratios are taken to the power of one half, then, once they
// are nearly even, the factors'; at last the costs count only to choose
// among the ways with fewest flips.
constexpr double kMostChangesPerBit = 0.245;
constexpr double kMostFlipsPerBitBeyond = 0.375;
constexpr unsigned kTextureEvenings = 3;
constexpr unsigned kEvenings = kTextureEvenings + 3;

// The texture costs of every texture SampleUnits::textures gives, so that
// no division is made for each unit.
struct TextureCosts {
    static constexpr std::size_t kTextures = 8 * 255 + 1;
    float of[kTextures];
    TextureCosts() {
        for (std::size_t texture = 0; texture < kTextures; ++texture) {
            of[texture] = kTextureCost / (kTextureFloor + static_cast<float>(texture));
        }
    }
};
const TextureCosts kTextureCosts;

// The cost of a flip evened out `times` times; the last time, nearly the same
// for every flip (within 1/64), so that the trellis flips as few as it can
// and, of those ways, takes the cheapest.
constexpr std::uint32_t kFewestFlipsCost = kLargestFlipCost - kLargestFlipCost / 64;

std::uint32_t evened(float texture, std::uint8_t factor, unsigned times) {
    const std::uint32_t first = std::min(static_cast<std::uint32_t>(texture * factor + 0.5F), kLargestFlipCost);
    if (times == 0) return first;
    if (times >= kEvenings) return kFewestFlipsCost + first / 64;
    constexpr float kLargest = kTextureCost / kTextureFloor;
    float ratio = texture / kLargest;
    auto weight = static_cast<float>(factor);
    for (unsigned k = 0; k < times; ++k) {
        ratio = std::sqrt(ratio);
        if (k >= kTextureEvenings) weight = std::sqrt(weight);
    }
    const float cost = kLargest * ratio * weight + 0.5F;
    return std::clamp<std::uint32_t>(static_cast<std::uint32_t>(cost), 1, kLargestFlipCost);
}

}  // namespace

struct HiddenLayout::Stepper {
    SampleUnits& units;
    ColourSet* colours;  // null: no steering towards held colours
    bool agreeing;       // steps agree with the pixel's other channels where they can
    bool sparesLone;     // steps keep from leaving lone pixels where they can
    const std::vector<std::uint64_t>& directions;  // the keyed ones, by gathered bit
    const Block& block;
    // The units of the thread's run of blocks: only pixels wholly among them
    // are looked at, as other threads own the others. A pixel's neighbours
    // in the blocks before and after its own count too, so that the rows at
    // a block's edges are steered like the rest.
    std::uint64_t firstOwned, endOwned;
    std::uint64_t& lonePixels;  // steps that left a pixel lone, counted

    // Where a unit's steps lead (pixel null: not looked at).
    struct Options {
        unsigned char* pixel = nullptr;
        unsigned channel = 0;
        bool upHeld = false, downHeld = false;  // the colour after +1, -1 is held
    };

    std::uint64_t unitOf(std::uint64_t bit) const { return 64 * block.firstWord + unitAtGatheredBit(bit, block.words); }

    Options optionsOf(std::uint64_t unit) const {
        Options options;
        if (colours == nullptr) return options;
        options.pixel = units.pixelOf(unit, firstOwned, endOwned, options.channel);
        if (options.pixel == nullptr) return options;
        const unsigned shift = 16 - 8 * options.channel;
        const std::uint32_t colour = ColourSet::colourAt(options.pixel);
        const unsigned value = options.pixel[options.channel];
        options.upHeld = value < 255 && colours->has(colour + (std::uint32_t{1} << shift));
        options.downHeld = value > 0 && colours->has(colour - (std::uint32_t{1} << shift));
        return options;
    }
    static bool makesOnlyNew(const Options& options) {
        return options.pixel != nullptr && !options.upHeld && !options.downHeld;
    }
    // Away from a lone pixel when one step leaves one; else towards a held
    // colour when one step gives one and the other does not; else, when
    // steering, the way that agrees with the pixel's other channels; else
    // the keyed way.
    void step(std::uint64_t bit, const Options& options) const {
        bool up = isSet(directions, bit);
        const unsigned lone = loneSteps(bit) & kBothSteps;
        if (lone == kLoneUp || lone == kLoneDown) {
            up = lone == kLoneDown;
        } else if (options.upHeld != options.downHeld) {
            up = options.upHeld;
        } else if (agreeing) {
            const int agreeingStep = units.agreeingStep(unitOf(bit), firstOwned, endOwned);
            if (agreeingStep != 0) up = agreeingStep > 0;
        }
        // At an end, only the one step it can take is among the lone ones.
        const std::uint64_t unit = unitOf(bit);
        if ((lone & (up ? kLoneUp : kLoneDown)) != 0 || (lone != 0 && units.atEnd(unit))) ++lonePixels;
        if (options.pixel == nullptr) {
            units.step(unit, up);
            return;
        }
        unsigned char& sample = options.pixel[options.channel];
        if (sample == 0) up = true;
        if (sample == 255) up = false;
        sample = static_cast<unsigned char>(up ? sample + 1 : sample - 1);
        colours->add(ColourSet::colourAt(options.pixel));
    }
    void step(std::uint64_t bit) const { step(bit, optionsOf(unitOf(bit))); }

    // The steps that would leave the unit's own pixel or one beside it lone.
    unsigned loneSteps(std::uint64_t bit) const {
        if (!sparesLone) return 0;
        const std::uint64_t unit = unitOf(bit);
        return (units.loneSteps(unit, firstOwned, endOwned) & kBothSteps) |
               units.neighbourLoneSteps(unit, firstOwned, endOwned);
    }
    // Every step the unit can take leaves a lone pixel: it lies in a flat
    // patch (or one off it, at an end), or beside one.
    bool inFlatPatch(std::uint64_t bit) const {
        const unsigned lone = loneSteps(bit) & kBothSteps;
        return lone == kBothSteps || (lone != 0 && units.atEnd(unitOf(bit)));
    }
};

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

std::uint64_t HiddenLayout::readReserved(const std::vector<std::uint64_t>& units, std::size_t first,
                                         std::size_t count) const {
    const std::size_t perBit = unitsPerReservedBit_;
    std::vector<std::uint8_t> bits(count * perBit);
    for (std::size_t j = 0; j < bits.size(); ++j) bits[j] = units_.bit(units[first * perBit + j]) ? 1 : 0;
    std::vector<std::uint8_t> message(count);
    readTrellis(bits.data(), bits.size(), message.data(), count);
    std::uint64_t read = 0;
    for (std::size_t i = 0; i < count; ++i) read |= std::uint64_t{message[i]} << i;
    return read;
}

unsigned HiddenLayout::loneStepsOf(std::uint64_t unit) const {
    const std::uint64_t end = units_.count();
    return units_.loneSteps(unit, 0, end) | units_.neighbourLoneSteps(unit, 0, end);
}

void HiddenLayout::writeReserved(const std::vector<std::uint64_t>& units, std::size_t first, std::uint64_t bits,
                                 std::size_t count, KeyStream& changes) {
    // A trellis over the bits' units, whose flips cost as the body's do
    // (without the colours held), so that they keep off flat patches.
    const std::size_t perBit = unitsPerReservedBit_;
    const std::size_t elements = count * perBit;
    const std::uint64_t end = units_.count();
    std::vector<std::uint8_t> now(elements), flips(elements), message(count);
    std::vector<std::uint32_t> costs(elements);
    for (std::size_t j = 0; j < elements; ++j) {
        const std::uint64_t unit = units[first * perBit + j];
        now[j] = units_.bit(unit) ? 1 : 0;
        std::uint16_t texture = 0;
        units_.textures(unit, 1, 0, end, &texture);
        std::uint8_t factor = units_.atEnd(unit) ? kOneWayFactor : 1;
        const unsigned lone = loneStepsOf(unit) & kBothSteps;
        if (lone == kBothSteps || (lone != 0 && units_.atEnd(unit))) factor *= kLoneFactor;
        costs[j] = evened(kTextureCosts.of[texture & ~(kSidesEqual | kAtEnd | kNearLone)], factor, 0);
    }
    for (std::size_t i = 0; i < count; ++i) message[i] = static_cast<std::uint8_t>(bits >> i & 1);
    TrellisCoder coder;
    coder.hide(now.data(), costs.data(), elements, message.data(), count, flips.data());
    for (std::size_t j = 0; j < elements; ++j) {
        if (flips[j] == 0) continue;
        const std::uint64_t unit = units[first * perBit + j];
        const unsigned lone = loneStepsOf(unit) & kBothSteps;
        bool up = changes.below(2) == 1;
        if (lone == kLoneUp || lone == kLoneDown) up = lone == kLoneDown;
        if (units_.atEnd(unit)) up = units_.value(unit) == 0;
        if ((lone & (up ? kLoneUp : kLoneDown)) != 0) ++reservedLonePixels_;
        units_.step(unit, up);
        ++reservedChanges_;
    }
}

namespace {

// The spans, and the share of the body each block's trellis carries: in
// proportion to the units it takes, the kept ones left out.
void shareAmongTrellises(HiddenLayout::Plan& plan, std::uint64_t bits) {
    const std::size_t blocks = plan.blocks.size();
    plan.spans = (blocks + kSpanBlocks - 1) / kSpanBlocks;
    std::vector<std::uint64_t> elements(blocks, 0);
    for (std::size_t k = 0; k < plan.spans; ++k) {
        const std::size_t count = spanBlocks(plan, k);
        for (std::size_t c = 0; c < count; ++c) {
            const HiddenLayout::Block& block = plan.blocks[spanBlock(plan, k, c)];
            const std::uint64_t slots = 64 * block.words;
            for (std::size_t t = 0; t < count; ++t) {
                const std::uint64_t firstSlot = trellisSlot(count, t, c, 0);
                if (firstSlot < slots) elements[spanBlock(plan, k, t)] += (slots - 1 - firstSlot) / count + 1;
            }
            for (const std::uint64_t slot : block.keptSlots) --elements[spanBlock(plan, k, (slot + c) % count)];
        }
    }
    std::uint64_t total = 0;
    for (const std::uint64_t e : elements) total += e;
    std::uint64_t before = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        plan.blocks[b].firstBit = scaled(bits, before, total);
        before += elements[b];
        plan.blocks[b].endBit = scaled(bits, before, total);
    }
}

}  // namespace

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

// Elements a trellis takes for each bit it carries at most: a small share
// of a large picture is carried by a part of each span (the first units in
// layout order of each of its blocks, which lie anywhere in them), so that
// it costs little time, with choice enough for the costs.
constexpr std::uint64_t kWidestTrellis = 64;

// The blocks of one span as a hide or a recovery holds them: their shuffles,
// their units' bits gathered, their kept units marked and, for a hide, the
// keyed directions of their units and their textures.
struct SpanHold {
    std::size_t span = 0, spans = 1, blocks = 0;
    BlockShuffle shuffles[kSpanBlocks];
    std::vector<std::uint64_t> memory, keep;            // kBlockWords for each block
    std::vector<std::vector<std::uint64_t>> directions;  // for each block
    std::vector<std::uint16_t> textures;                 // kBlockUnits for each block, when whole

    SpanHold() : memory(kSpanBlocks * kBlockWords), keep(kSpanBlocks * kBlockWords), directions(kSpanBlocks) {}

    const HiddenLayout::Block& block(const HiddenLayout::Plan& plan, std::size_t c) const {
        return plan.blocks[spanBlock(plan, span, c)];
    }
    const std::uint64_t* memoryOf(std::size_t c) const { return memory.data() + c * kBlockWords; }
    const std::uint64_t* keepOf(std::size_t c) const { return keep.data() + c * kBlockWords; }

    bool hold(const SampleUnits& units, const HiddenLayout::Plan& plan, std::size_t which, KeyStream& layoutStream) {
        span = which;
        spans = plan.spans;
        blocks = spanBlocks(plan, span);
        for (std::size_t c = 0; c < blocks; ++c) {
            const std::size_t b = spanBlock(plan, span, c);
            const HiddenLayout::Block& held = plan.blocks[b];
            if (!shuffles[c].prepare(layoutStream, b, held.words, plan.sharedOrder)) return false;
            std::uint64_t* gathered = memory.data() + c * kBlockWords;
            std::uint64_t* kept = keep.data() + c * kBlockWords;
            units.gather(64 * held.firstWord, held.words, gathered);
            std::fill_n(kept, held.words, 0);
            for (const std::uint64_t bit : held.keptBits) kept[bit / 64] |= std::uint64_t{1} << (bit % 64);
        }
        return true;
    }
};

// One trellis's working arrays: its elements (units of every block of the
// span, in the order trellisSlot gives, the kept ones left out) and what
// each costs.
struct TrellisWork {
    TrellisCoder coder;
    std::vector<std::uint32_t> bitOf, costs;  // by element: its gathered bit, its cost
    std::vector<std::uint8_t> blockOf;        // by element: its block in the span
    std::vector<float> textureCosts;          // by element
    std::vector<std::uint8_t> factors;        // by element
    std::vector<std::uint8_t> bits, flips, message;

    TrellisWork()
        : bitOf(kLargestTrellis), costs(kLargestTrellis), blockOf(kLargestTrellis), textureCosts(kLargestTrellis),
          factors(kLargestTrellis), bits(kLargestTrellis), flips(kLargestTrellis), message(kLargestTrellis) {}

    // Trellis `t`'s elements and their bits, at most `most`; how many. Round
    // by round, one slot of each block of the span in turn.
    std::size_t layOut(const HiddenLayout::Plan& plan, const SpanHold& span, std::size_t t, std::uint64_t most) {
        std::size_t elements = 0;
        for (std::uint64_t round = 0; elements < most; ++round) {
            bool anyLeft = false;
            for (std::size_t c = 0; c < span.blocks && elements < most; ++c) {
                const std::uint64_t slot = trellisSlot(span.blocks, t, c, round);
                if (slot >= 64 * span.block(plan, c).words) continue;
                anyLeft = true;
                const std::uint64_t bit = span.shuffles[c].bitOf(slot);
                if ((span.keepOf(c)[bit / 64] >> (bit % 64) & 1) != 0) continue;
                blockOf[elements] = static_cast<std::uint8_t>(c);
                bitOf[elements] = static_cast<std::uint32_t>(bit);
                bits[elements] = static_cast<std::uint8_t>(span.memoryOf(c)[bit / 64] >> (bit % 64) & 1);
                ++elements;
            }
            if (!anyLeft) break;
        }
        return elements;
    }

    // The message bits a trellis carries: `count` bits of `body` from `first`.
    void takeMessage(const std::uint64_t* body, std::uint64_t first, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t at = first + i;
            message[i] = static_cast<std::uint8_t>(body[at / 64] >> (at % 64) & 1);
        }
    }
};

void HiddenLayout::chooseTrellisFlips(const Plan& plan, const SpanHold& span, std::size_t t, const std::uint64_t* body,
                                      double mostFlipsPerBit, const std::vector<Stepper>& steppers,
                                      TrellisWork& w, std::vector<std::uint64_t>& chosen) const {
    const Block& carrier = span.block(plan, t);
    const std::size_t messageBits = static_cast<std::size_t>(carrier.endBit - carrier.firstBit);
    const std::size_t elements = w.layOut(plan, span, t, kWidestTrellis * messageBits);
    const bool textured = units_.plane().sampleBytes == 1;
    const bool wholeTextures = !span.textures.empty();
    for (std::size_t j = 0; j < elements; ++j) {
        const Stepper& stepper = steppers[w.blockOf[j]];
        const std::uint64_t bit = w.bitOf[j];
        const std::uint64_t unit = stepper.unitOf(bit);
        std::uint16_t texture = 0;
        if (textured && wholeTextures) {
            texture = span.textures[w.blockOf[j] * kBlockUnits + (unit - 64 * stepper.block.firstWord)];
        } else if (textured) {
            units_.textures(unit, 1, stepper.firstOwned, stepper.endOwned, &texture);
        }
        std::uint8_t factor = 1;
        if ((texture & (kSidesEqual | kNearLone)) != 0 && stepper.inFlatPatch(bit)) factor *= kLoneFactor;
        if (textured ? (texture & kAtEnd) != 0 : units_.atEnd(unit)) factor *= kOneWayFactor;
        if (stepper.colours != nullptr && Stepper::makesOnlyNew(stepper.optionsOf(unit))) factor *= kNewColourFactor;
        w.textureCosts[j] = kTextureCosts.of[texture & ~(kSidesEqual | kAtEnd | kNearLone)];
        w.factors[j] = factor;
        w.costs[j] = evened(w.textureCosts[j], factor, 0);
    }
    w.takeMessage(body, carrier.firstBit, messageBits);
    const double mostFlips = mostFlipsPerBit * static_cast<double>(messageBits);
    for (unsigned times = 0;; ++times) {
        if (times > 0) {
            for (std::size_t j = 0; j < elements; ++j) w.costs[j] = evened(w.textureCosts[j], w.factors[j], times);
        }
        w.coder.hide(w.bits.data(), w.costs.data(), elements, w.message.data(), messageBits, w.flips.data());
        const auto flips = static_cast<double>(std::count(w.flips.data(), w.flips.data() + elements, 1));
        if (flips <= mostFlips || times == kEvenings) break;
    }
    chosen.clear();
    for (std::size_t j = 0; j < elements; ++j) {
        if (w.flips[j] != 0) chosen.push_back(std::uint64_t{w.blockOf[j]} << 32 | w.bitOf[j]);
    }
}

// What one thread of a hide holds: its key streams, the span it hides,
// the trellis it works on, and the lone pixels its steps left.
struct TrellisThread {
    KeyStream layoutStream, changeStream;
    SpanHold span;
    TrellisWork work;
    std::vector<std::uint64_t> chosen;
    std::uint64_t lonePixels = 0;

    TrellisThread(const SecretBytes& layoutKey, const SecretBytes& changeKey)
        : layoutStream(layoutKey), changeStream(changeKey) {}
    bool ready() const { return layoutStream.ready() && changeStream.ready(); }
};

bool HiddenLayout::hideInSpan(const Plan& plan, std::size_t which, const std::uint64_t* body, double mostFlipsPerBit,
                              ColourSet* colours, bool agreeing, bool steered, TrellisThread& thread) {
    SpanHold& span = thread.span;
    if (!span.hold(units_, plan, which, thread.layoutStream)) return false;
    std::vector<Stepper> steppers;
    std::uint64_t spanBits = 0, spanUnits = 0;
    for (std::size_t c = 0; c < span.blocks; ++c) {
        const Block& block = span.block(plan, c);
        spanBits += block.endBit - block.firstBit;
        spanUnits += 64 * block.words;
        span.directions[c].resize(block.words);
        if (!thread.changeStream.fill(kDirectionDomain, spanBlock(plan, which, c),
                                      reinterpret_cast<unsigned char*>(span.directions[c].data()),
                                      block.words * sizeof(std::uint64_t))) {
            return false;
        }
        steppers.push_back(Stepper{units_, colours, agreeing, steered, span.directions[c], block, 0, units_.count(),
                                   thread.lonePixels});
    }
    // The textures of the span's blocks in one walk each, where the
    // trellises take most of their units.
    span.textures.clear();
    if (units_.plane().sampleBytes == 1 && 8 * kWidestTrellis * spanBits >= spanUnits) {
        span.textures.resize(span.blocks * kBlockUnits);
        for (std::size_t c = 0; c < span.blocks; ++c) {
            const Block& block = span.block(plan, c);
            units_.textures(64 * block.firstWord, 64 * block.words, 0, units_.count(),
                            span.textures.data() + c * kBlockUnits);
        }
    }
    for (std::size_t t = 0; t < span.blocks; ++t) {
        const Block& carrier = span.block(plan, t);
        if (carrier.endBit == carrier.firstBit) continue;
        chooseTrellisFlips(plan, span, t, body, mostFlipsPerBit, steppers, thread.work, thread.chosen);
        for (const std::uint64_t flip : thread.chosen) steppers[flip >> 32].step(flip & 0xFFFFFFFF);
    }
    return true;
}

namespace {

// The bits of the body that trellis `t` of the held span carries, ORed into
// `body` (whose words at the two ends other threads may be writing too).
void readTrellisShare(const HiddenLayout::Plan& plan, const SpanHold& span, std::size_t t, std::uint64_t* body,
                      TrellisWork& w) {
    const HiddenLayout::Block& carrier = span.block(plan, t);
    const std::size_t messageBits = static_cast<std::size_t>(carrier.endBit - carrier.firstBit);
    const std::size_t elements = w.layOut(plan, span, t, kWidestTrellis * messageBits);
    readTrellis(w.bits.data(), elements, w.message.data(), messageBits);
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < messageBits; ++i) {
        const std::uint64_t at = carrier.firstBit + i;
        word |= std::uint64_t{w.message[i]} << (at % 64);
        if (at % 64 == 63 || i + 1 == messageBits) {
            std::atomic_ref<std::uint64_t>(body[at / 64]).fetch_or(word);
            word = 0;
        }
    }
}

// The units of blocks [first, end) of the plan.
std::uint64_t firstUnitOf(const HiddenLayout::Plan& plan, std::size_t first) { return 64 * plan.blocks[first].firstWord; }
std::uint64_t endUnitOf(const HiddenLayout::Plan& plan, std::size_t end) {
    return 64 * (plan.blocks[end - 1].firstWord + plan.blocks[end - 1].words);
}

// Whether any trellis of the span carries a bit.
bool spanCarriesAnything(const HiddenLayout::Plan& plan, std::size_t span) {
    for (std::size_t c = 0; c < spanBlocks(plan, span); ++c) {
        const HiddenLayout::Block& block = plan.blocks[spanBlock(plan, span, c)];
        if (block.endBit > block.firstBit) return true;
    }
    return false;
}

}  // namespace

bool HiddenLayout::embed(const SecretBytes& layoutKey, const SecretBytes& changeKey,
                         const std::vector<std::uint64_t>& kept, const std::uint64_t* body, std::uint64_t bits) {
    const std::optional<Plan> planned = plan(layoutKey, kept, bits);
    if (!planned) return false;
    const Plan& plan = *planned;
    if (!plan.trellis) return embedInSegments(plan, changeKey, layoutKey, body);
    // Steps are steered where the trellis chose the units, in 8-bit pictures
    // of one or three channels: away from lone pixels, towards the colours
    // held in a picture of few colours (that set built before any body bit
    // is placed, from the picture as the hide found it), and, up to a
    // quarter of the room, in step with the pixel's other channels (beyond,
    // steps that all agree would make the channels agree more than a
    // photograph's do).
    const SamplePlane& plane = units_.plane();
    const bool steered = plane.sampleBytes == 1 && (plane.channels == 1 || plane.channels == 3);
    const bool inColour = !units_.grey() && plane.channels == 3;
    const std::unique_ptr<ColourSet> colours = steered && inColour ? ColourSet::of(plane) : nullptr;
    // A quarter of what `capacity -p` gives, with the body's name, frame and
    // tag, is a little more than a quarter of the room.
    const bool quarter = 10 * bits <= 3 * roomBits();
    const bool agreeing = steered && inColour && quarter;
    // The seed and the length are hidden bits too, and their changes are
    // made already: a small body keeps what is left of their allowance.
    const auto carried = static_cast<double>(bits);
    const auto hidden = static_cast<double>(bits + kSeedBits + kLengthBits);
    const double mostFlipsPerBit =
        quarter ? std::max(0.0, kMostChangesPerBit * hidden - static_cast<double>(reservedChanges_)) / carried
                : kMostFlipsPerBitBeyond;
    // Each thread hides its spans one after another, each trellis of a span
    // choosing its flips from the picture as the ones before it left it;
    // the threads go in rounds, round r taking the r-th span of each, spans
    // far enough apart that no thread looks at a pixel another is changing
    // (a span's blocks lie all over the picture, every m-th one).
    const std::uint64_t rowBlocks = units_.count() / plane.rows / kBlockUnits;
    const std::size_t threads = std::min<std::size_t>(
        {std::max(1U, std::thread::hardware_concurrency()), 8,
         std::max<std::uint64_t>(1, plan.spans / (rowBlocks + 3))});
    std::vector<std::unique_ptr<TrellisThread>> states;
    for (std::size_t i = 0; i < threads; ++i) {
        states.push_back(std::make_unique<TrellisThread>(layoutKey, changeKey));
        if (!states.back()->ready()) return false;
    }
    const std::size_t rounds = (plan.spans + threads - 1) / threads;
    for (std::size_t round = 0; round < rounds; ++round) {
        const bool done = forEvery(threads, 1, [&](std::size_t first, std::size_t end) {
            for (std::size_t i = first; i < end; ++i) {
                const std::size_t span = i * plan.spans / threads + round;
                if (span >= (i + 1) * plan.spans / threads || !spanCarriesAnything(plan, span)) continue;
                if (!hideInSpan(plan, span, body, mostFlipsPerBit, colours.get(), agreeing, steered, *states[i])) {
                    return false;
                }
            }
            return true;
        });
        if (!done) return false;
    }
    std::uint64_t lonePixels = 0;
    for (const auto& state : states) lonePixels += state->lonePixels;
    lonePixels_ = reservedLonePixels_ + lonePixels;
    return true;
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
    if (plan.trellis) {
        return forEvery(plan.spans, 1, [&](std::size_t firstSpan, std::size_t endSpan) {
            KeyStream layoutStream(layoutKey);
            if (!layoutStream.ready()) return false;
            const auto span = std::make_unique<SpanHold>();
            const auto work = std::make_unique<TrellisWork>();
            for (std::size_t k = firstSpan; k < endSpan; ++k) {
                if (!spanCarriesAnything(plan, k)) continue;
                if (!span->hold(units_, plan, k, layoutStream)) return false;
                for (std::size_t t = 0; t < span->blocks; ++t) {
                    const Block& carrier = span->block(plan, t);
                    if (carrier.endBit > carrier.firstBit) readTrellisShare(plan, *span, t, body, *work);
                }
            }
            return true;
        });
    }
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
