#include "sum_lines.h"

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <vector>

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

std::optional<SumLine> sumLineOf(std::string_view hexText, std::string_view nameText, bool escapedName) {
    std::optional<std::string> hex = digestHex(hexText);
    std::optional<std::string> name = escapedName ? unescaped(nameText) : std::string(nameText);
    if (!hex || !name) return std::nullopt;
    return SumLine{std::move(*hex), std::move(*name)};
}

// How a shell-quoted name writes a byte it cannot show inside $'...'.
std::string dollarEscape(unsigned char byte) {
    static const char kNamed[] = "\a\b\t\n\v\f\r";
    static const char kLetters[] = "abtnvfr";
    if (const char* named = byte != 0 ? std::strchr(kNamed, byte) : nullptr) {
        return std::string("\\") + kLetters[named - kNamed];
    }
    const char octal[] = {'\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + ((byte >> 3) & 7)),
                          static_cast<char>('0' + (byte & 7)), '\0'};
    return octal;
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

std::string quotedName(const std::string& name) {
    if (name.empty()) return "''";
    // What the name holds, read character by character in the locale's encoding.
    struct Piece {
        std::string_view bytes;
        bool shown;
    };
    std::vector<Piece> pieces;
    bool needsQuotes = name[0] == '~' || name[0] == '#';
    bool singleQuote = false;
    bool specialInDoubleQuotes = false;
    bool unshown = false;
    std::mbstate_t state{};
    for (std::size_t at = 0; at < name.size();) {
        wchar_t wide = 0;
        const std::size_t length = std::mbrtowc(&wide, name.data() + at, name.size() - at, &state);
        const bool valid = length != 0 && length <= name.size() - at;
        const std::size_t taken = valid ? length : 1;
        const bool shown = valid && std::iswprint(static_cast<wint_t>(wide)) != 0;
        if (!valid) state = std::mbstate_t{};
        if (taken == 1 && shown) {
            const char c = name[at];
            needsQuotes = needsQuotes || std::strchr(" !\"$&'()*:;<=>?[\\^`|", c) != nullptr;
            singleQuote = singleQuote || c == '\'';
            specialInDoubleQuotes = specialInDoubleQuotes || std::strchr("$`\\\"!", c) != nullptr;
        }
        unshown = unshown || !shown;
        pieces.push_back({std::string_view(name).substr(at, taken), shown});
        at += taken;
    }
    if (!needsQuotes && !unshown) return name;
    if (singleQuote && !specialInDoubleQuotes && !unshown) return "\"" + name + "\"";

    std::string quoted = "'";
    bool inQuotes = true;
    bool inDollar = false;
    for (const Piece& piece : pieces) {
        if (piece.shown) {
            if (inDollar) quoted += "'";
            if (!inQuotes) quoted += "'";
            inDollar = false;
            inQuotes = true;
            quoted += piece.bytes == "'" ? std::string("'\\''") : std::string(piece.bytes);
            continue;
        }
        if (inQuotes) quoted += "'";
        if (!inDollar) quoted += "$'";
        inQuotes = false;
        inDollar = true;
        for (const char byte : piece.bytes) quoted += dollarEscape(static_cast<unsigned char>(byte));
    }
    quoted += "'";
    return quoted;
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
    return sumLineOf(after, rest.substr(0, close), escapedName);
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
