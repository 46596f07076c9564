// Byte blocks for whole images and payloads.
#pragma once

#include <cstddef>
#include <memory>

namespace glint {

// An uninitialised block of `size` bytes, for contents that are about to be
// read or computed in full: zero-filling would touch every page twice. Large
// blocks ask the system for huge pages, which cuts the page faults of filling
// a 256 MiB image by a factor of 512.
std::unique_ptr<unsigned char[]> allocateBlock(std::size_t size);

}  // namespace glint
