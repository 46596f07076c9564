// The kernels of an x86-64 build, and which of them this processor runs.
// __builtin_cpu_supports counts a feature only when the system also saves
// its registers on a task switch (AVX and AVX-512 state in XCR0).
#include "hashing/md5_kernels.h"
#include "hashing/md5_lanes.h"

namespace cairn {
namespace {

bool always() { return true; }

bool hasSse2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
}

bool hasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool hasAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl");
}

// Fastest first, as md5_lanes_bench measures them on AMD Zen 4 with the
// lanes' data laid out as Md5LaneBuffers lays it.
constexpr Md5Kernel kKernels[] = {
    {"avx512x2", 32, md5CompressAvx512x2, hasAvx512},
    {"avx512", 16, md5CompressAvx512, hasAvx512},
    {"avx2x2", 16, md5CompressAvx2x2, hasAvx2},
    {"avx2", 8, md5CompressAvx2, hasAvx2},
    {"sse2x2", 8, md5CompressSse2x2, hasSse2},
    {"sse2", 4, md5CompressSse2, hasSse2},
    {"scalarx2", 2, md5CompressScalarx2, always},
    {"scalar", 1, md5CompressScalar, always},
};

}  // namespace

std::span<const Md5Kernel> md5Kernels() { return kKernels; }

}  // namespace cairn
