#include "large_block.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace glint {
namespace {

#ifdef __linux__
constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

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
#endif

}  // namespace

std::unique_ptr<unsigned char[]> allocateBlock(std::size_t size) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[size]);
#ifdef __linux__
    adviseHugePages(block.get(), size);
#endif
    return block;
}

}  // namespace glint
