#include "common/posix/text_conversion.h"

#include <iconv.h>
#include <langinfo.h>
#include <string.h>

#include <cctype>
#include <cerrno>

#include "common/ascii_case.h"

namespace common {

std::string localeCodeset() { return ::nl_langinfo(CODESET); }

std::string canonicalCodeset(std::string_view codeset) {
    std::string name;
    for (const char c : codeset) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            name += asciiUpper(c);
        }
    }
    return name;
}

bool isUtf8(std::string_view codeset) { return canonicalCodeset(codeset) == "UTF8"; }

std::string terminalCodeset() {
    const std::string codeset = localeCodeset();
    const std::string name = canonicalCodeset(codeset);
    const bool plainAscii = name == "ANSIX341968" || name == "ASCII" || name == "USASCII";
    return plainAscii ? "UTF-8" : codeset;
}

bool convertText(const char* to, const char* from, std::string_view text, const PutBytes& put,
                 CharacterLength lengthOf) {
    const iconv_t conversion = ::iconv_open(to, from);
    if (conversion == reinterpret_cast<iconv_t>(-1)) return false;
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char piece[256];
    bool whole = true;
    for (;;) {
        char* out = piece;
        std::size_t outLeft = sizeof piece;
        const bool finishing = inLeft == 0;
        const std::size_t result = finishing ? ::iconv(conversion, nullptr, nullptr, &out, &outLeft)
                                             : ::iconv(conversion, &in, &inLeft, &out, &outLeft);
        put(piece, static_cast<std::size_t>(out - piece));
        if (result != static_cast<std::size_t>(-1)) {
            if (finishing) break;
            continue;
        }
        if (errno == E2BIG) continue;
        if (finishing) break;
        // EILSEQ or EINVAL: a character the target cannot hold, or a broken one.
        if (lengthOf == nullptr) {
            whole = false;
            break;
        }
        put("?", 1);
        const std::size_t skipped = lengthOf(in, inLeft);
        in += skipped;
        inLeft -= skipped;
        ::iconv(conversion, nullptr, nullptr, nullptr, nullptr);
    }
    ::iconv_close(conversion);
    // The text may be a secret (a typed passphrase): no copy stays behind.
    ::explicit_bzero(piece, sizeof piece);
    return whole;
}

}  // namespace common
