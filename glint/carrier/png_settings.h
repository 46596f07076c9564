// How glint's PNGs are compressed on Linux, shared with the benchmark that
// measures glint against libpng alone at the same settings.
#pragma once

#include <png.h>

namespace glint {

// zlib's level and libpng's row filters for every PNG glint writes.
inline constexpr int kPngCompressionLevel = 6;
inline constexpr int kPngFilters = PNG_ALL_FILTERS;

}  // namespace glint
