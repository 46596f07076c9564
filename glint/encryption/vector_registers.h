// Clearing the processor's vector registers, where copies of a key stay
// after the C library's memcpy moved it (glibc's AVX-512 memcpy uses
// registers little other code touches) until something saves them to
// memory: a lazily bound first call saves them all on the stack.
#pragma once

namespace glint {

void clearVectorRegisters();

}  // namespace glint
