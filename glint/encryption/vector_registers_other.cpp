#include "encryption/vector_registers.h"

namespace glint {

// Elsewhere (Windows binds every import at load; other processors) nothing
// saves the registers behind the program's back.
void clearVectorRegisters() {}

}  // namespace glint
