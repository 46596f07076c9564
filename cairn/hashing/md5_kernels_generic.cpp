// The kernels of a build for a processor with no vector kernel of ours.
#include "hashing/md5_kernels.h"
#include "hashing/md5_lanes.h"

namespace cairn {
namespace {

bool always() { return true; }

constexpr Md5Kernel kKernels[] = {
    {"scalarx2", 2, md5CompressScalarx2, always},
    {"scalar", 1, md5CompressScalar, always},
};

}  // namespace

std::span<const Md5Kernel> md5Kernels() { return kKernels; }

}  // namespace cairn
