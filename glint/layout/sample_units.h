// The units of a picture that carry the hidden layout's bits: each carried
// sample, or, in a grey picture (three samples with R = G = B in every
// pixel), each pixel, whose three samples always change together so that it
// stays grey. A unit's bit is the least significant bit of its (first)
// sample; a unit changes by +1 or -1, never past 0 or the largest value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "layout/sample_plane.h"

namespace glint {

class SampleUnits {
public:
    // With `allowGrey` false every sample is a unit, grey or not.
    explicit SampleUnits(const SamplePlane& plane, bool allowGrey = true);

    std::uint64_t count() const { return count_; }
    bool grey() const { return grey_; }

    bool bit(std::uint64_t unit) const;
    // Moves the unit by one, up when `up` (or when it is 0), down otherwise
    // (or when it is at the largest value).
    void step(std::uint64_t unit, bool up);

    // The bits of units [first, first + 64 * words) into words[0 .. words).
    void gather(std::uint64_t first, std::size_t words, std::uint64_t* out) const;
    // Steps every unit first + i whose bit i is set in `changes`, up when bit
    // i of `directions` is set.
    void apply(std::uint64_t first, std::size_t words, const std::uint64_t* changes,
               const std::uint64_t* directions);

private:
    unsigned char* sampleAt(std::uint64_t row, std::uint64_t index) const;
    void stepAt(unsigned char* sample, bool up) const;
    bool contiguousBytes() const;
    // Calls segment(row, index, offset, count) for the runs of units
    // [first, first + count) that lie in one row each; offset counts from first.
    template <typename Segment>
    void forEachRowRun(std::uint64_t first, std::uint64_t count, Segment segment) const;

    SamplePlane plane_;
    bool grey_ = false;
    std::uint64_t perRow_ = 0;   // units in a row
    std::uint64_t count_ = 0;
};

}  // namespace glint
