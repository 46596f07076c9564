// Arbitrary bytes as a file name and as a line of a sums file. Any name
// written into a sum line, plain, binary or tagged, is read back as the same
// name and digest; and any line at all is read without harm.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_scratch.h"
#include "sum_lines.h"

using fuzzing::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    cairn::SumLineReader().read(bytes);

    // A file name is never empty and never holds a NUL.
    if (bytes.empty() || bytes.find('\0') != std::string::npos) return 0;
    const std::string hex = "0123456789abcdef0123456789abcdef";
    for (const bool tag : {false, true}) {
        for (const bool binary : {false, true}) {
            const std::optional<cairn::SumLine> read = cairn::SumLineReader().read(cairn::sumLine(hex, bytes, binary, tag, false));
            require(read && read->hex == hex && read->name == bytes);
        }
    }
    return 0;
}
