#include "sum_lines/sum_line_format.h"

#include "files/file_names.h"

namespace cairn {
namespace {

constexpr std::size_t kHexDigits = 32;
constexpr std::string_view kTag = "MD5";

std::string escaped(const std::string& name) {
    std::string text;
    for (const char c : name) {
        if (c == '\\') {
            text += "\\\\";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else {
            text += c;
        }
    }
    return text;
}

// The inverse of escaped(); nothing for any other backslash sequence.
std::optional<std::string> unescaped(std::string_view text) {
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            name += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        if (text[i] == '\\') {
            name += '\\';
        } else if (text[i] == 'n') {
            name += '\n';
        } else if (text[i] == 'r') {
            name += '\r';
        } else {
            return std::nullopt;
        }
    }
    return name;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Exactly the 32 hex digits of a digest, as lower case.
std::optional<std::string> digestHex(std::string_view text) {
    if (text.size() != kHexDigits) return std::nullopt;
    std::string hex;
    for (const char c : text) {
        if (!isHexDigit(c)) return std::nullopt;
        hex += (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return hex;
}

// A name in a list line ends at its first NUL byte, as a C string does; an
// escaped name that holds one is no name at all. Where its bytes read two
// ways (file_names.h), each reading is unescaped on its own, so that a
// multibyte character's trail byte is never taken for a backslash.
std::optional<SumLine> sumLineOf(std::string_view hexText, std::string_view nameText, bool escapedName) {
    std::optional<std::string> hex = digestHex(hexText);
    if (!hex) return std::nullopt;
    const std::size_t nul = nameText.find('\0');
    if (escapedName && nul != std::string_view::npos) return std::nullopt;
    names::Readings readings = names::readingsOfListed(nameText.substr(0, nul));
    const auto nameIn = [&](std::string& reading) -> std::optional<std::string> {
        return escapedName ? unescaped(reading) : std::move(reading);
    };
    std::optional<std::string> likelier = nameIn(readings.likelier);
    std::optional<std::string> other = readings.other ? nameIn(*readings.other) : std::nullopt;
    if (!likelier && !other) return std::nullopt;
    if (!likelier) return SumLine{std::move(*hex), std::move(*other), std::nullopt};
    return SumLine{std::move(*hex), std::move(*likelier), std::move(other)};
}

}  // namespace

std::string sumLine(const std::string& hex, const std::string& name, bool binary, bool tag, bool zero) {
    const bool escape = !zero && name.find_first_of("\\\n\r") != std::string::npos;
    const std::string shown = escape ? escaped(name) : name;
    const std::string prefix = escape ? "\\" : "";
    if (tag) return prefix + std::string(kTag) + " (" + shown + ") = " + hex;
    return prefix + hex + (binary ? " *" : "  ") + shown;
}

std::string checkedName(const std::string& name) {
    if (name.find('\n') == std::string::npos) return name;
    std::string shown = "\\";
    shown += escaped(name);
    return shown;
}

std::optional<SumLine> SumLineReader::read(std::string_view line) {
    std::size_t at = 0;
    while (at < line.size() && isBlank(line[at])) ++at;
    const bool escapedName = at < line.size() && line[at] == '\\';
    if (escapedName) ++at;
    const std::string_view rest = line.substr(at);
    if (rest.substr(0, kTag.size()) == kTag) return readTagged(rest.substr(kTag.size()), escapedName);
    return readPlain(rest, escapedName);
}

// "MD5 (NAME) = <hex>": the name runs to the last closing parenthesis.
std::optional<SumLine> SumLineReader::readTagged(std::string_view rest, bool escapedName) {
    if (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
    if (rest.empty() || rest[0] != '(') return std::nullopt;
    rest.remove_prefix(1);
    const std::size_t close = rest.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view after = rest.substr(close + 1);
    while (!after.empty() && isBlank(after[0])) after.remove_prefix(1);
    if (after.empty() || after[0] != '=') return std::nullopt;
    after.remove_prefix(1);
    while (!after.empty() && isBlank(after[0])) after.remove_prefix(1);
    return sumLineOf(after.substr(0, after.find('\0')), rest.substr(0, close), escapedName);
}

// "<hex> <marker>NAME", or "<hex> NAME" in the reversed form.
std::optional<SumLine> SumLineReader::readPlain(std::string_view rest, bool escapedName) {
    // The digits, a blank, and at least one more character.
    if (rest.size() < kHexDigits + 2 || !isBlank(rest[kHexDigits]) || !digestHex(rest.substr(0, kHexDigits))) {
        return std::nullopt;
    }
    std::string_view name = rest.substr(kHexDigits + 1);
    if (name.size() == 1 || (name[0] != ' ' && name[0] != '*')) {
        if (reversed_ == Reversed::No) return std::nullopt;
        reversed_ = Reversed::Yes;
    } else if (reversed_ != Reversed::Yes) {
        reversed_ = Reversed::No;
        name.remove_prefix(1);  // the text or binary marker
    }
    return sumLineOf(rest.substr(0, kHexDigits), name, escapedName);
}

}  // namespace cairn
