#include "sum_lines/quoting.h"

#include <cstring>
#include <cwchar>

#include "files/file_names.h"

namespace cairn {
namespace {

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

}  // namespace cairn
