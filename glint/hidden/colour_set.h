// The colours of an 8-bit colour picture, one bit for each of the 2^24: the
// hidden layout steps a sample towards a colour the picture already holds
// where it can, since a change that makes a colour the picture did not have,
// one step from one it has, is what tells few-colour pictures apart.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "layout/sample_plane.h"

namespace glint {

class ColourSet {
public:
    // The colours of `plane`; nothing for a picture that is not 8-bit
    // colour, or that has too many colours for +-1 changes to show in them:
    // one whose colours lie as close together as they would after +-1 noise
    // (closeRatioGrowth at least kFewColoursBelow). There, stepping towards
    // colours held would itself show, as the colours that changes take away
    // would outnumber those they make. A picture whose sample of rows alone
    // holds more than kDenseColours is of that kind, and is not read further.
    static std::unique_ptr<ColourSet> of(const SamplePlane& plane);

    // Ordered pairs of distinct colours held at most 1 apart in each
    // sample, per colour held.
    double closeRatio() const;
    // The close ratio of every `rowStep`-th row of the picture over that of
    // the same rows after +-1 at every sample with probability 1/2 (a fixed
    // pseudo-random choice): well below 1 for a picture of few colours,
    // which +-1 changes crowd.
    static double closeRatioGrowth(const SamplePlane& plane, std::size_t rowStep);

    // Safe to call from several threads at once, with add as well.
    bool has(std::uint32_t colour) const;
    // A colour the hide has made: later steps may take it as held.
    void add(std::uint32_t colour);

    // The colour of a pixel's three samples, in memory order.
    static std::uint32_t colourAt(const unsigned char* pixel) {
        return std::uint32_t{pixel[0]} << 16 | std::uint32_t{pixel[1]} << 8 | pixel[2];
    }

    static constexpr std::uint32_t kDenseColours = std::uint32_t{1} << 18;
    static constexpr double kFewColoursBelow = 0.9;
    // Pixels of a large picture whose close ratio growth is measured.
    static constexpr std::uint64_t kGaugedPixels = std::uint64_t{1} << 20;
    static constexpr std::size_t kSampledRowStep = 256;

private:
    ColourSet() : words_(std::size_t{1} << 18) {}
    // Adds the colours of every `step`-th row from `first`; the number of
    // colours that were new.
    std::uint64_t addRows(const SamplePlane& plane, std::size_t first, std::size_t step);
    void addNoisy(const SamplePlane& plane, std::size_t step);

    // Only ever ORed into, atomically, while threads share them; read the
    // same way.
    mutable std::vector<std::uint64_t> words_;
};

}  // namespace glint
