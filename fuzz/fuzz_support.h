// What every fuzz target uses: writing its input to a file, and stopping
// with a crash report when a property does not hold.
#pragma once

#include <fstream>
#include <string>

namespace fuzzing {

inline void writeBytes(const std::string& path, const unsigned char* bytes, std::size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

// Stops the fuzzer with a crash report when a property does not hold.
inline void require(bool holds) {
    if (!holds) __builtin_trap();
}

}  // namespace fuzzing
