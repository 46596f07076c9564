// The units of a picture that carry the hidden layout's bits: each carried
// sample, or, in a grey picture (three samples with R = G = B in every
// pixel), each pixel, whose three samples always change together so that it
// stays grey. A unit's bit is the least significant bit of its (first)
// sample; a unit changes by +1 or -1, never past 0 or the largest value.
//
// The layout reads and writes units in words of 64 bits. Eight words make a
// chunk of 512 units, in which bit 8j + k of word g holds unit 64k + 8g + j:
// unit after unit, the bits of one word are eight bytes apart in memory, so
// that a byte's bit 0 lands in place with one shift for eight bytes at once,
// whatever the processor. Words after the last whole chunk hold their 64
// units in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "layout/sample_plane.h"

namespace glint {

inline constexpr std::size_t kChunkWords = 8;
inline constexpr std::uint64_t kChunkUnits = 64 * kChunkWords;

// Where unit `unit` lies in the words of a run of `words` words that starts
// at a chunk: word (result / 64), bit (result % 64).
std::uint64_t gatheredBit(std::uint64_t unit, std::uint64_t words);
// The unit at bit `bit` of such a run: the reverse of gatheredBit.
std::uint64_t unitAtGatheredBit(std::uint64_t bit, std::uint64_t words);

inline constexpr unsigned kLoneUp = 1;
inline constexpr unsigned kLoneDown = 2;
inline constexpr unsigned kLoneAmongEight = 4;  // the four corners share the colour too
// Flags of SampleUnits::textures.
inline constexpr std::uint16_t kSidesEqual = 0x8000;
inline constexpr std::uint16_t kAtEnd = 0x4000;
inline constexpr std::uint16_t kNearLone = 0x2000;

class SampleUnits {
public:
    // With `allowGrey` false every sample is a unit, grey or not.
    explicit SampleUnits(const SamplePlane& plane, bool allowGrey = true);

    std::uint64_t count() const { return count_; }
    const SamplePlane& plane() const { return plane_; }
    bool grey() const { return grey_; }

    bool bit(std::uint64_t unit) const;
    // The unit's (first) sample's value.
    unsigned value(std::uint64_t unit) const;
    // At 0 or the largest value, where a step can only go one way.
    bool atEnd(std::uint64_t unit) const;
    // In an 8-bit colour picture (not grey), the first sample of the unit's
    // pixel, and into `channel` the unit's place in it; null when the pixel
    // has units outside [first, end), which another thread may be changing.
    unsigned char* pixelOf(std::uint64_t unit, std::uint64_t first, std::uint64_t end, unsigned& channel) const;
    // In an 8-bit colour picture (not grey), the step of the unit, +1 or -1,
    // after which its channel differs from the eight pixels around the least
    // otherwise than the pixel's other two channels do (in a photograph the
    // three mostly rise and fall together); 0 when both steps do as well.
    // Only pixels wholly in [first, end) are looked at: 0 when the unit's
    // own pixel is not.
    int agreeingStep(std::uint64_t unit, std::uint64_t first, std::uint64_t end) const;
    // In an 8-bit picture, which of the unit's steps (kLoneUp for +1,
    // kLoneDown for -1) would leave its pixel one off, in one sample (or in
    // grey level, where the units are grey pixels or the picture has one
    // channel), the colour the four pixels beside it (above, below, left
    // and right) share: a lone pixel, which no camera or scaler makes; with
    // kLoneAmongEight when the four at its corners share it too. Both
    // steps, where the pixel is of its neighbours' colour (in a flat
    // patch). Only pixels wholly in [first, end) are looked at: none when
    // any of the five is not.
    unsigned loneSteps(std::uint64_t unit, std::uint64_t first, std::uint64_t end) const;
    // Which of the unit's steps would leave one of the four pixels beside
    // its own lone (kLoneUp, kLoneDown), as loneSteps means it: where the
    // unit's pixel is one off the colour that pixel's other three sides
    // share, and the pixel itself one off it too. Only pixels wholly in
    // [first, end) are looked at.
    unsigned neighbourLoneSteps(std::uint64_t unit, std::uint64_t first, std::uint64_t end) const;
    // The steps (kLoneUp, kLoneDown) that would leave the unit's own pixel
    // or one beside it lone.
    unsigned stepsLeavingLone(std::uint64_t unit, std::uint64_t first, std::uint64_t end) const {
        return (loneSteps(unit, first, end) & (kLoneUp | kLoneDown)) | neighbourLoneSteps(unit, first, end);
    }
    // Whether the unit's pixel is lone now, as loneSteps means it.
    bool isLone(std::uint64_t unit, std::uint64_t first, std::uint64_t end) const;
    // In an 8-bit picture, for each of `count` units from `first`, how much
    // its sample (its grey level, where the units are grey pixels) differs
    // from the same sample of the eight pixels around: the sum of the
    // differences, scaled up to eight where fewer lie in [rangeFirst,
    // rangeEnd), into `out`, with kSidesEqual where the four beside it
    // all lie there and equal it (only there can a step leave a lone
    // pixel), kAtEnd where it is 0 or 255, and kNearLone where a step might
    // leave a pixel beside it lone (two corners on one side equal and one
    // off it; always at the edges of the range). False, leaving `out` as
    // it is, in other pictures.
    bool textures(std::uint64_t first, std::size_t count, std::uint64_t rangeFirst, std::uint64_t rangeEnd,
                  std::uint16_t* out) const;
    // Moves the unit by one, up when `up` (or when it is 0), down otherwise
    // (or when it is at the largest value).
    void step(std::uint64_t unit, bool up);

    // The bits of units [first, first + 64 * words), first a multiple of
    // kChunkUnits, into words[0 .. words) as laid out above.
    void gather(std::uint64_t first, std::size_t words, std::uint64_t* out) const;
    // Steps every unit whose bit is set in `changes` (laid out as gather
    // lays out the units' bits), up where the same bit of `directions` is
    // set; except the units at an end and those whose bit is set in `keep`,
    // which are left as they are and have their bit set in `skipped`
    // (cleared here).
    void apply(std::uint64_t first, std::size_t words, const std::uint64_t* changes, const std::uint64_t* directions,
               const std::uint64_t* keep, std::uint64_t* skipped);

private:
    unsigned char* sampleAt(std::uint64_t unit) const;
    // In an 8-bit colour picture, the unit's pixel and channel when the
    // pixel lies wholly in [first, end) (else pixel null), and visit(next)
    // for each of the eight pixels around it that does too; how many.
    template <typename Visit>
    unsigned forEachNeighbour(std::uint64_t unit, std::uint64_t first, std::uint64_t end, const unsigned char*& pixel,
                              unsigned& channel, Visit visit) const;
    // A unit's pixel and the colour the four beside it share, when they
    // share one and all lie wholly in [first, end); `samples` of each are
    // compared (one, a grey level, where every unit is a pixel of one level).
    struct Surround {
        const unsigned char* pixel;
        const unsigned char* shared;
        unsigned channel;
        unsigned samples;
        bool amongEight;  // the four at its corners share the colour too
    };
    std::optional<Surround> surroundOf(std::uint64_t unit, std::uint64_t first, std::uint64_t end) const;
    std::optional<Surround> levelSurroundOf(std::uint64_t unit, std::uint64_t first, std::uint64_t end) const;
    void stepAt(unsigned char* sample, bool up) const;
    bool atEndAt(const unsigned char* sample) const;
    // Whether the chunk from `first` is one run of bytes in one row.
    bool chunkIsContiguous(std::uint64_t first) const;
    void gatherChunk(std::uint64_t first, std::uint64_t* out) const;
    void applyChunk(std::uint64_t first, const std::uint64_t* changes, const std::uint64_t* directions,
                    const std::uint64_t* keep, std::uint64_t* skipped);

    SamplePlane plane_;
    bool grey_ = false;
    std::uint64_t perRow_ = 0;   // units in a row
    std::uint64_t count_ = 0;
};

}  // namespace glint
