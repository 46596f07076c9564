#include "files/large_block.h"

namespace glint {

// Large pages need a privilege that ordinary users lack.
void adviseHugePages(unsigned char* /*block*/, std::size_t /*size*/) {}

}  // namespace glint
