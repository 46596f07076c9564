// The trellis pass of a build for a processor with no vector pass of ours.
#include "coding/trellis_kernels.h"

namespace glint {

TrellisPassFunction trellisPass() { return trellisPassScalar; }

}  // namespace glint
