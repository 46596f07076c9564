// Helpers shared by the tests: BMP files built from a few fields, scratch
// folders, whole-file reads and writes, and running a program with piped
// standard input.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<unsigned char>;

// The fields a test cares about; everything else is a plain 40-byte-header
// BMP. bfSize is 54 + data.size() unless overridden.
struct BmpFields {
    std::uint16_t bitCount = 24;
    std::int32_t width = 4;
    std::int32_t height = 4;
    std::uint32_t sizeImage = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t offBits = 54;
    std::int64_t bfSize = -1;  // -1: the real size
    Bytes data;
};

Bytes makeBmp(const BmpFields& fields);

// The data area with bit 0 of its first 32 bytes set to the bits of
// `length`, least significant first: the length word of a hidden payload.
Bytes withLengthBits(Bytes data, std::uint32_t length);

// Deterministic bytes that differ from call to call through `seed`.
Bytes patternBytes(std::size_t size, std::uint32_t seed);

// Bytes as a string, for byte-exact comparison of console output.
std::string asString(const Bytes& bytes);

void writeFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes readFile(const std::filesystem::path& path);

// A fresh folder, removed with everything in it when the test ends.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct RunResult {
    std::string out;
    std::string err;
    int exitStatus = -1;  // -1 when the program did not exit normally
};

// Runs `program` in `workingDir` with `input` as its standard input (a file,
// so the program sees no terminal) and collects what it writes. The command
// in TEST_PROGRAM_WRAPPER, if set, runs it (a memory checker, for instance).
RunResult runProgram(const std::string& program, const std::string& input,
                     const std::filesystem::path& workingDir);

}  // namespace testing_support
