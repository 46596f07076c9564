#include <sys/mman.h>

#include <cstdint>

#include "files/large_block.h"

namespace glint {
namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

}  // namespace

// Only the whole huge pages inside the block are advised: the advice never
// reaches memory that belongs to anything else.
void adviseHugePages(unsigned char* block, std::size_t size) {
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + size) & ~(kHugePage - 1);
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

}  // namespace glint
