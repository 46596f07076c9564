// Arbitrary bytes as a file name and as a line of a sums file. Any name
// written into a sum line, plain, binary or tagged, is read back as the same
// name and digest, also with a NUL and more after it (an escaped plain line
// then is no sum line); any line at all is read without harm; and a name
// quoted for a diagnostic is that name again to a shell.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "sum_lines/quoting.h"
#include "sum_lines/sum_line_format.h"

using fuzzing::require;

namespace {

constexpr char kEscapeLetters[] = "abtnvfr";
constexpr char kEscaped[] = "\a\b\t\n\v\f\r";

// The word a shell reads from `quoted`, in the forms quotedName() writes:
// bare bytes, \', '...', "..." and $'...'.
std::optional<std::string> shellWord(std::string_view quoted) {
    std::string word;
    for (std::size_t at = 0; at < quoted.size();) {
        const bool dollar = quoted.compare(at, 2, "$'") == 0;
        const char quote = dollar ? '\'' : quoted[at];
        if (!dollar && quote != '\'' && quote != '"') {
            if (quote == '\\') ++at;  // \' stands for a single quote
            word += quoted[at++];
            continue;
        }
        at += dollar ? 2 : 1;
        const std::size_t close = quoted.find(quote, at);
        if (close == std::string_view::npos) return std::nullopt;
        for (; at < close; ++at) {
            if (!dollar || quoted[at] != '\\') {
                word += quoted[at];
            } else if (const char* letter = std::strchr(kEscapeLetters, quoted[++at])) {
                word += kEscaped[letter - kEscapeLetters];
            } else {
                word += static_cast<char>(((quoted[at] - '0') << 6) | ((quoted[at + 1] - '0') << 3) | (quoted[at + 2] - '0'));
                at += 2;
            }
        }
        at = close + 1;
    }
    return word;
}

// In the C locale, where the fuzzer runs.
bool unshown(char c) { return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    cairn::SumLineReader().read(bytes);

    // A file name is never empty and never holds a NUL.
    if (bytes.empty() || bytes.find('\0') != std::string::npos) return 0;
    const std::string hex = "0123456789abcdef0123456789abcdef";
    const bool escaped = bytes.find_first_of("\\\n\r") != std::string::npos;
    for (const bool tag : {false, true}) {
        for (const bool binary : {false, true}) {
            const std::string line = cairn::sumLine(hex, bytes, binary, tag, false);
            const std::optional<cairn::SumLine> read = cairn::SumLineReader().read(line);
            require(read && read->hex == hex && read->name == bytes);
            const std::optional<cairn::SumLine> cut = cairn::SumLineReader().read(line + std::string("\0x", 2));
            require(escaped && !tag ? !cut : cut && cut->hex == hex && cut->name == bytes);
        }
    }
    // md5sum's own slip, kept: a name with a single quote that starts and
    // ends with unshown bytes is quoted as if already inside $'...'.
    const bool slip = bytes.find('\'') != std::string::npos && unshown(bytes.front()) && unshown(bytes.back());
    require(slip || shellWord(cairn::quotedName(bytes)) == bytes);
    return 0;
}
