// How glint's PNGs are compressed on Linux, shared with the benchmark that
// measures glint against libpng alone at the same settings.
#pragma once

#include <png.h>

namespace glint {

// zlib's fastest level with libpng's own choice of filter for each row.
// After hiding, the lowest bits of the samples are random and no level
// compresses them; on a photograph-like 16 MiB picture level 6 took 2.5
// times as long for an 11 % smaller file, and the Sub filter alone was 1.7
// times as fast as the choice of all five for a 2.5 % larger one, 20 %
// larger on flat screenshot-like pictures.
inline constexpr int kPngCompressionLevel = 1;
inline constexpr int kPngFilters = PNG_ALL_FILTERS;

}  // namespace glint
