// Where the samples of a picture that may carry hidden bits lie in memory:
// the colour samples of every pixel, never alpha, row padding, colour masks,
// palette entries or header bytes. The hidden layout and the bit-plane
// picture walk a picture through this view, whatever file it came from.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glint {

// `rows` rows of `pixelsPerRow` pixels, in the order they lie in memory. Each
// pixel holds `channels` carried samples one after another (after them it
// may hold alpha or an unused byte, which are never carried). A sample is one
// byte, or with `sampleBytes` 2 a big-endian 16-bit value, as PNG stores it,
// whose lowest bit is in its second byte.
struct SamplePlane {
    unsigned char* first = nullptr;  // the first sample of the first row
    std::size_t rows = 0;
    std::size_t rowBytes = 0;      // from the start of one row to the start of the next
    std::size_t pixelsPerRow = 0;
    std::size_t pixelBytes = 0;    // from one pixel to the next, alpha and unused bytes included
    std::size_t channels = 0;      // carried samples per pixel: 1 (grey) or 3 (colour)
    std::size_t sampleBytes = 1;   // 1, or 2 for 16-bit samples

    unsigned char* pixel(std::size_t row, std::size_t column) const {
        return first + row * rowBytes + column * pixelBytes;
    }
    std::uint64_t pixelCount() const { return std::uint64_t{rows} * pixelsPerRow; }
    std::uint64_t sampleCount() const { return pixelCount() * channels; }
};

}  // namespace glint
