// The trellises of the hidden layout (hidden_layout.h): what a change
// costs, the spans and their trellises, and the seed's and the length's
// trellises.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

#include "coding/trellis_code.h"
#include "hidden/hidden_parts.h"

namespace glint {
namespace {

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
// among the ways with fewest flips. Between the last step that made too many
// flips and the first that did not, kEveningHalvings halvings find the
// least evened costs that fit.
constexpr double kMostChangesPerBit = 0.245;
constexpr double kMostFlipsPerBitBeyond = 0.375;
constexpr unsigned kTextureEvenings = 3;
constexpr unsigned kEvenings = kTextureEvenings + 3;
constexpr unsigned kEveningHalvings = 3;

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

std::uint32_t evened(float texture, std::uint8_t factor, float times) {
    const std::uint32_t first = std::min(static_cast<std::uint32_t>(texture * factor + 0.5F), kLargestFlipCost);
    if (times <= 0) return first;
    if (times >= kEvenings) return kFewestFlipsCost + first / 64;
    // The texture's ratio to the largest taken to the power 2^-times (up to
    // kTextureEvenings), then the factor's to the power 2^-(times - that).
    constexpr float kLargest = kTextureCost / kTextureFloor;
    constexpr auto kTextureTimes = static_cast<float>(kTextureEvenings);
    const float textureRoot = std::exp2(-std::min(times, kTextureTimes));
    const float factorRoot = std::exp2(-std::max(times - kTextureTimes, 0.0F));
    const float cost = kLargest * std::pow(texture / kLargest, textureRoot) *
                           std::pow(static_cast<float>(factor), factorRoot) + 0.5F;
    return std::clamp<std::uint32_t>(static_cast<std::uint32_t>(cost), 1, kLargestFlipCost);
}

}  // namespace

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
        const unsigned lone = units_.stepsLeavingLone(unit, 0, end);
        if (lone == kBothSteps || (lone != 0 && units_.atEnd(unit))) factor *= kLoneFactor;
        costs[j] = evened(kTextureCosts.of[texture & ~(kSidesEqual | kAtEnd | kNearLone)], factor, 0);
    }
    for (std::size_t i = 0; i < count; ++i) message[i] = static_cast<std::uint8_t>(bits >> i & 1);
    TrellisCoder coder;
    coder.hide(now.data(), costs.data(), elements, message.data(), count, flips.data());
    for (std::size_t j = 0; j < elements; ++j) {
        if (flips[j] == 0) continue;
        const std::uint64_t unit = units[first * perBit + j];
        const unsigned lone = units_.stepsLeavingLone(unit, 0, end);
        bool up = changes.below(2) == 1;
        if (lone == kLoneUp || lone == kLoneDown) up = lone == kLoneDown;
        if (units_.atEnd(unit)) up = units_.value(unit) == 0;
        if ((lone & (up ? kLoneUp : kLoneDown)) != 0) ++reservedLonePixels_;
        units_.step(unit, up);
        ++reservedChanges_;
    }
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
    std::size_t span = 0, blocks = 0;
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
    std::vector<std::uint32_t> byBlock;  // the elements, block by block
    std::vector<std::uint8_t> fitting;   // the flips of the least evened costs that fit

    TrellisWork()
        : bitOf(kLargestTrellis), costs(kLargestTrellis), blockOf(kLargestTrellis), textureCosts(kLargestTrellis),
          factors(kLargestTrellis), bits(kLargestTrellis), flips(kLargestTrellis), message(kLargestTrellis),
          byBlock(kLargestTrellis), fitting(kLargestTrellis) {}

    // The first `elements` elements in byBlock, block by block, so that
    // what is read of each block stays in the cache while it is read.
    void sortByBlock(std::size_t elements, std::size_t blocks) {
        std::size_t starts[kSpanBlocks + 1] = {};
        for (std::size_t j = 0; j < elements; ++j) ++starts[blockOf[j] + 1];
        for (std::size_t c = 0; c < blocks; ++c) starts[c + 1] += starts[c];
        for (std::size_t j = 0; j < elements; ++j) byBlock[starts[blockOf[j]]++] = static_cast<std::uint32_t>(j);
    }

    // Trellis `t`'s elements and their bits, at most `most`; how many. Round
    // by round, one slot of each block of the span in turn.
    std::size_t layOut(const HiddenLayout::Plan& plan, const SpanHold& span, std::size_t t, std::uint64_t most) {
        // Each block's first slot and its slots, looked up once.
        std::uint64_t firstSlots[kSpanBlocks], slots[kSpanBlocks];
        for (std::size_t c = 0; c < span.blocks; ++c) {
            firstSlots[c] = trellisSlot(span.blocks, t, c, 0);
            slots[c] = 64 * span.block(plan, c).words;
        }
        std::size_t elements = 0;
        for (std::uint64_t round = 0; elements < most; ++round) {
            bool anyLeft = false;
            for (std::size_t c = 0; c < span.blocks && elements < most; ++c) {
                const std::uint64_t slot = firstSlots[c] + span.blocks * round;
                if (slot >= slots[c]) continue;
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
    w.sortByBlock(elements, span.blocks);
    for (std::size_t i = 0; i < elements; ++i) {
        const std::size_t j = w.byBlock[i];
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
    }
    w.takeMessage(body, carrier.firstBit, messageBits);
    const double mostFlips = mostFlipsPerBit * static_cast<double>(messageBits);
    const auto hideEvened = [&](float times) {
        for (std::size_t j = 0; j < elements; ++j) w.costs[j] = evened(w.textureCosts[j], w.factors[j], times);
        w.coder.hide(w.bits.data(), w.costs.data(), elements, w.message.data(), messageBits, w.flips.data());
        return static_cast<double>(std::count(w.flips.data(), w.flips.data() + elements, 1)) <= mostFlips;
    };
    // The costs evened out step by step until the flips fit; then, between
    // the last step that did not fit and the first that did, the least
    // evened costs that still fit, by halves.
    unsigned times = 0;
    while (!hideEvened(static_cast<float>(times)) && times < kEvenings) ++times;
    if (times > 0 && times < kEvenings) {
        std::copy_n(w.flips.data(), elements, w.fitting.data());
        float tooFew = static_cast<float>(times - 1), enough = static_cast<float>(times);
        for (unsigned halving = 0; halving < kEveningHalvings; ++halving) {
            const float between = (tooFew + enough) / 2;
            if (hideEvened(between)) {
                enough = between;
                std::copy_n(w.flips.data(), elements, w.fitting.data());
            } else {
                tooFew = between;
            }
        }
        std::copy_n(w.fitting.data(), elements, w.flips.data());
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

// Whether any trellis of the span carries a bit.
bool spanCarriesAnything(const HiddenLayout::Plan& plan, std::size_t span) {
    for (std::size_t c = 0; c < spanBlocks(plan, span); ++c) {
        const HiddenLayout::Block& block = plan.blocks[spanBlock(plan, span, c)];
        if (block.endBit > block.firstBit) return true;
    }
    return false;
}

}  // namespace

bool HiddenLayout::embedInTrellises(const Plan& plan, const SecretBytes& layoutKey, const SecretBytes& changeKey,
                                    const std::uint64_t* body, std::uint64_t bits, std::uint64_t payloadBits) {
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
    // The changes allowed are counted per bit of the payload: the body's
    // frame, tag and name, and the seed and the length (whose changes are
    // made already), are the layout's own. For a payload so small that those
    // are more than a quarter of all the bits hidden, per bit hidden, as no
    // allowance of the payload's own could keep the changes off flat patches.
    const std::uint64_t allHidden = bits + kSeedBits + kLengthBits;
    const std::uint64_t counted =
        payloadBits != 0 && 4 * payloadBits >= 3 * allHidden ? std::min(payloadBits, allHidden) : allHidden;
    const double allowed = kMostChangesPerBit * static_cast<double>(counted);
    const double mostFlipsPerBit = quarter ? std::max(0.0, allowed - static_cast<double>(reservedChanges_)) /
                                                static_cast<double>(bits)
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

bool HiddenLayout::extractFromTrellises(const Plan& plan, const SecretBytes& layoutKey, std::uint64_t* body) const {
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

}  // namespace glint
