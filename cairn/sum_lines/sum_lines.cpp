#include "sum_lines/sum_lines.h"

#include <cerrno>
#include <cstring>
#include <cwchar>

#include "files/file_access.h"
#include "files/file_names.h"

namespace cairn {
namespace {

constexpr std::size_t kHexDigits = 32;
// Large enough that reading a list costs few system calls.
constexpr std::size_t kListPiece = std::size_t{64} << 10;
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
// multibyte character's trail byte is never taken for a backslash, and the
// other is taken only when it leads to a file and the likelier does not.
std::optional<std::string> nameOf(std::string_view text, bool escapedName) {
    const std::size_t nul = text.find('\0');
    if (escapedName && nul != std::string_view::npos) return std::nullopt;
    names::Readings readings = names::readingsOfListed(text.substr(0, nul));
    const auto nameIn = [&](std::string& reading) -> std::optional<std::string> {
        return escapedName ? unescaped(reading) : std::move(reading);
    };
    std::optional<std::string> likelier = nameIn(readings.likelier);
    if (!readings.other) return likelier;
    std::optional<std::string> other = nameIn(*readings.other);
    if (!likelier || (other && !names::exists(*likelier) && names::exists(*other))) return other;
    return likelier;
}

std::optional<SumLine> sumLineOf(std::string_view hexText, std::string_view nameText, bool escapedName) {
    std::optional<std::string> hex = digestHex(hexText);
    if (!hex) return std::nullopt;
    std::optional<std::string> name = nameOf(nameText, escapedName);
    if (!name) return std::nullopt;
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

// Bytes a shell reads as more than themselves anywhere in a word.
constexpr char kShellSpecial[] = " !\"$&'()*:;<=>?[\\^`|";
// Bytes that make a name quoted also as a later byte of a character.
constexpr char kSpecialInLaterBytes[] = "[\\^`|";
// Bytes that rule out double quotes around a name with a single quote.
constexpr char kNotInDoubleQuotes[] = "!\"#$&()*;<=>?[\\^`{|}~";

// Calls `visit(bytes, shown)` for each character of `name` as names are read
// (file_names.h); a byte that starts no valid character is one unshown
// character.
template <typename Visit>
void forEachCharacter(const std::string& name, Visit visit) {
    std::mbstate_t state{};
    for (std::size_t at = 0; at < name.size();) {
        // Every locale's character set reads an ASCII byte as itself.
        const unsigned char byte = static_cast<unsigned char>(name[at]);
        if (byte < 0x80 && std::mbsinit(&state) != 0) {
            visit(std::string_view(name).substr(at, 1), byte >= 0x20 && byte < 0x7f);
            ++at;
            continue;
        }
        const names::Character character = names::characterAt(std::string_view(name).substr(at), state);
        visit(std::string_view(name).substr(at, character.length), character.shown);
        at += character.length;
    }
}

// The name inside single quotes, through `put`: each run of unshown
// characters in $'...', each single quote as '\''.
template <typename Put>
void singleQuoted(const std::string& name, bool startInDollar, Put put) {
    put("'");
    bool inDollar = startInDollar;
    forEachCharacter(name, [&](std::string_view bytes, bool shown) {
        if (!shown) {
            if (!inDollar) put("'$'");
            inDollar = true;
            for (const char byte : bytes) put(dollarEscape(static_cast<unsigned char>(byte)));
        } else if (bytes == "'") {
            put("'\\''");
            inDollar = false;
        } else {
            if (inDollar) put("''");
            inDollar = false;
            put(bytes);
        }
    });
    put("'");
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

void appendQuotedName(std::string& text, const std::string& name, std::size_t spare) {
    if (name.empty()) {
        text += "''";
        return;
    }
    bool needsQuotes = name[0] == '~' || name[0] == '#' || name == "{" || name == "}";
    bool singleQuote = false;
    bool doubleQuotesFit = true;
    bool endsUnshown = false;
    forEachCharacter(name, [&](std::string_view bytes, bool shown) {
        endsUnshown = !shown;
        if (!shown) {
            needsQuotes = true;
            doubleQuotesFit = false;
            return;
        }
        if (bytes.size() != 1) {
            // A character set such as GBK may carry one of these in a
            // character's later bytes; md5sum then quotes the name.
            needsQuotes = needsQuotes || bytes.find_first_of(kSpecialInLaterBytes, 1) != std::string_view::npos;
            return;
        }
        const char c = bytes[0];
        needsQuotes = needsQuotes || std::strchr(kShellSpecial, c) != nullptr;
        singleQuote = singleQuote || c == '\'';
        // A leading '#' or '~' needs quotes, but not more than double quotes.
        const bool leading = bytes.data() == name.data() && (c == '#' || c == '~');
        doubleQuotesFit = doubleQuotesFit && (leading || std::strchr(kNotInDoubleQuotes, c) == nullptr);
    });
    if (!needsQuotes || (singleQuote && doubleQuotesFit)) {
        const std::string_view quote = needsQuotes ? "\"" : "";
        text.reserve(text.size() + name.size() + 2 + spare);
        text.append(quote).append(name).append(quote);
        return;
    }
    // As md5sum writes it: a name with a single quote that ends in an
    // unshown character is written as if $'...' were already open at its
    // start.
    const bool startInDollar = singleQuote && endsUnshown;
    std::size_t size = 0;
    singleQuoted(name, startInDollar, [&](std::string_view piece) { size += piece.size(); });
    text.reserve(text.size() + size + spare);
    singleQuoted(name, startInDollar, [&](std::string_view piece) { text += piece; });
}

std::string quotedName(const std::string& name) {
    std::string text;
    appendQuotedName(text, name, 0);
    return text;
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

ListReader::ListReader(int descriptor)
    : descriptor_(descriptor), buffer_(new char[kListPiece]), capacity_(kListPiece) {}

bool ListReader::nextLine(std::string_view& line) {
    char* const start = buffer_.get() + begin_;
    const std::size_t buffered = end_ - begin_;
    const void* newline = std::memchr(start + scanned_, '\n', buffered - scanned_);
    std::size_t length = buffered;
    if (newline != nullptr) {
        length = static_cast<std::size_t>(static_cast<const char*>(newline) - start);
    } else if (!ended_ || buffered == 0) {
        scanned_ = buffered;
        return false;
    }
    line = std::string_view(start, length);
    begin_ += newline != nullptr ? length + 1 : length;
    scanned_ = 0;
    return true;
}

void ListReader::fill() {
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == capacity_) {
        // By half again, so that a long line costs little more than itself.
        const std::size_t grown = capacity_ + capacity_ / 2;
        std::unique_ptr<char[]> larger(new char[grown]);
        std::memcpy(larger.get(), buffer_.get(), end_);
        buffer_ = std::move(larger);
        capacity_ = grown;
    }
    const std::int64_t got = files::readSome(descriptor_, reinterpret_cast<unsigned char*>(buffer_.get() + end_),
                                             capacity_ - end_);
    if (got > 0) {
        end_ += static_cast<std::size_t>(got);
    } else {
        ended_ = true;
        if (got < 0) error_ = errno;
    }
}

}  // namespace cairn
