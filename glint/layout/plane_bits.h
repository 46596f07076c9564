// The bit-plane kernels over a plane of samples (layout/sample_plane.h): bit
// b of message byte k goes to the lowest bit of sample first + 8k + b, the
// samples counted in the plane's order, row by row and in each pixel its
// colour samples in turn. A plane whose samples are one run of single bytes
// (a BMP's data area, an 8-bit picture without alpha) takes the word kernels
// of layout/bit_plane.h; any other is walked sample by sample.
#pragma once

#include <cstddef>
#include <cstdint>

#include "layout/sample_plane.h"

namespace glint {

// The caller has checked that samples [first, first + 8 * count) exist.
void embedPlaneBits(const SamplePlane& plane, std::uint64_t first, const unsigned char* message, std::size_t count);
void extractPlaneBits(const SamplePlane& plane, std::uint64_t first, unsigned char* message, std::size_t count);

// The 32-bit length word in the lowest bits of samples 0 .. 31, bit i in sample i.
void embedPlaneLength(const SamplePlane& plane, std::uint32_t length);
std::uint32_t extractPlaneLength(const SamplePlane& plane);

}  // namespace glint
