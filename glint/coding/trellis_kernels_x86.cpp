// The trellis passes of an x86-64 build, and which of them this processor
// runs. __builtin_cpu_supports counts a feature only when the system also
// saves its registers on a task switch.
#include "coding/trellis_kernels.h"

namespace glint {

TrellisPassFunction trellisPass() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") ? trellisPassAvx512 : trellisPassScalar;
}

}  // namespace glint
