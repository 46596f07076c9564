#include "hidden/colour_set.h"

#include <algorithm>
#include <atomic>
#include <bit>

namespace glint {

std::uint64_t ColourSet::addRows(const SamplePlane& plane, std::size_t first, std::size_t step) {
    std::uint64_t added = 0;
    for (std::size_t row = first; row < plane.rows; row += step) {
        for (std::size_t column = 0; column < plane.pixelsPerRow; ++column) {
            const std::uint32_t colour = colourAt(plane.pixel(row, column));
            std::uint64_t& word = words_[colour / 64];
            const std::uint64_t bit = std::uint64_t{1} << (colour % 64);
            added += (word & bit) == 0 ? 1 : 0;
            word |= bit;
        }
    }
    return added;
}

namespace {

// A fixed pseudo-random word for each pixel (splitmix64): the noise of the
// close ratio's calibration needs no key, only to be the same every time.
std::uint64_t mixed(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

}  // namespace

void ColourSet::addNoisy(const SamplePlane& plane, std::size_t step) {
    for (std::size_t row = 0; row < plane.rows; row += step) {
        std::uint64_t index = std::uint64_t{row} * plane.pixelsPerRow;
        for (std::size_t column = 0; column < plane.pixelsPerRow; ++column, ++index) {
            const unsigned char* pixel = plane.pixel(row, column);
            const std::uint64_t noise = mixed(index);
            std::uint32_t colour = 0;
            for (unsigned c = 0; c < 3; ++c) {
                int value = pixel[c];
                // Changed when one bit is set, up or down by the next; a step
                // past an end comes back on the other side.
                if ((noise >> (2 * c) & 1) != 0) value += (noise >> (2 * c + 1) & 1) != 0 ? 1 : -1;
                if (value < 0) value = 1;
                if (value > 255) value = 254;
                colour = colour << 8 | static_cast<std::uint32_t>(value);
            }
            words_[colour / 64] |= std::uint64_t{1} << (colour % 64);
        }
    }
}

double ColourSet::closeRatio() const {
    std::uint64_t colours = 0, close = 0;
    for (std::size_t w = 0; w < words_.size(); ++w) {
        for (std::uint64_t left = words_[w]; left != 0; left &= left - 1) {
            const auto colour = static_cast<std::uint32_t>(64 * w + static_cast<unsigned>(std::countr_zero(left)));
            ++colours;
            const int rgb[3] = {static_cast<int>(colour >> 16), static_cast<int>(colour >> 8 & 0xFF),
                                static_cast<int>(colour & 0xFF)};
            for (int step = 0; step < 27; ++step) {
                const int d[3] = {step / 9 - 1, step / 3 % 3 - 1, step % 3 - 1};
                if (d[0] == 0 && d[1] == 0 && d[2] == 0) continue;
                std::uint32_t near = 0;
                bool inside = true;
                for (unsigned c = 0; c < 3; ++c) {
                    const int value = rgb[c] + d[c];
                    inside = inside && value >= 0 && value <= 255;
                    near = near << 8 | static_cast<std::uint32_t>(value & 0xFF);
                }
                if (inside && (words_[near / 64] >> (near % 64) & 1) != 0) ++close;
            }
        }
    }
    return colours == 0 ? 0.0 : static_cast<double>(close) / static_cast<double>(colours);
}

double ColourSet::closeRatioGrowth(const SamplePlane& plane, std::size_t rowStep) {
    ColourSet rows;
    rows.addRows(plane, 0, rowStep);
    ColourSet noisy;
    noisy.addNoisy(plane, rowStep);
    const double after = noisy.closeRatio();
    return after == 0.0 ? 1.0 : rows.closeRatio() / after;
}

std::unique_ptr<ColourSet> ColourSet::of(const SamplePlane& plane) {
    if (plane.channels != 3 || plane.sampleBytes != 1 || plane.rows == 0) return nullptr;
    std::unique_ptr<ColourSet> set(new ColourSet());
    // First every kSampledRowStep-th row: a picture whose sample of rows
    // already holds that many colours is dense, and the rest is not read.
    if (set->addRows(plane, 0, kSampledRowStep) > kDenseColours) return nullptr;
    for (std::size_t first = 1; first < kSampledRowStep; ++first) set->addRows(plane, first, kSampledRowStep);
    // A large picture is gauged by rows spread over it, enough to tell.
    const std::uint64_t rowStep = (plane.pixelCount() + kGaugedPixels - 1) / kGaugedPixels;
    if (closeRatioGrowth(plane, static_cast<std::size_t>(std::max<std::uint64_t>(1, rowStep))) >= kFewColoursBelow) {
        return nullptr;
    }
    return set;
}

bool ColourSet::has(std::uint32_t colour) const {
    return (std::atomic_ref<std::uint64_t>(words_[colour / 64]).load(std::memory_order_relaxed) >> (colour % 64) & 1) != 0;
}

void ColourSet::add(std::uint32_t colour) {
    std::atomic_ref<std::uint64_t> word(words_[colour / 64]);
    const std::uint64_t bit = std::uint64_t{1} << (colour % 64);
    if ((word.load(std::memory_order_relaxed) & bit) == 0) word.fetch_or(bit, std::memory_order_relaxed);
}

}  // namespace glint
