// What the hidden layout's two halves share (hidden_layout.cpp: the plan,
// the Hamming codes; hidden_trellis.cpp: the trellises and what a change
// costs): the block's constants, the threads' runs, and how a unit steps.
// Not for use outside this folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "hidden/block_shuffle.h"
#include "hidden/colour_set.h"
#include "hidden/hidden_layout.h"
#include "hidden/sample_units.h"

namespace glint {

inline constexpr std::uint64_t kBlockUnits = 64 * kBlockWords;
inline constexpr std::uint32_t kDirectionDomain = 4;  // +1 or -1 for each unit of a block
inline constexpr unsigned kBothSteps = kLoneUp | kLoneDown;

// a * b / c, rounded down, without overflow (a, b <= c).
inline std::uint64_t scaled(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    __extension__ using Wide = unsigned __int128;
    return static_cast<std::uint64_t>(Wide{a} * b / c);
}

// Whether bit `bit` of `words` is set.
inline bool isSet(const std::vector<std::uint64_t>& words, std::uint64_t bit) {
    return (words[bit / 64] >> (bit % 64) & 1) != 0;
}

// Runs `work` on every item (blocks or spans), the items shared among the
// processors in runs of neighbours, at least `fewestPerThread` to a thread;
// false when any call returned false.
bool forEvery(std::size_t items, std::size_t fewestPerThread,
              const std::function<bool(std::size_t first, std::size_t end)>& work);

// The spans of a plan of the trellises, and the share of the body each
// block's trellis carries (hidden_trellis.cpp).
void shareAmongTrellises(HiddenLayout::Plan& plan, std::uint64_t bits);

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
        return sparesLone ? units.stepsLeavingLone(unitOf(bit), firstOwned, endOwned) : 0;
    }
    // Every step the unit can take leaves a lone pixel: it lies in a flat
    // patch (or one off it, at an end), or beside one.
    bool inFlatPatch(std::uint64_t bit) const {
        const unsigned lone = loneSteps(bit) & kBothSteps;
        return lone == kBothSteps || (lone != 0 && units.atEnd(unitOf(bit)));
    }
};

}  // namespace glint
