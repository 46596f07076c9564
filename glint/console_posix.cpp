#include <cctype>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include "console.h"

namespace glint {

namespace {

std::string canonicalCodeset(const std::string& codeset) {
    std::string name;
    for (const char c : codeset) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return name;
}

// GBK itself and its extension GB18030 show the designed bytes as they are.
// Its subset GB2312 (EUC-CN) is converted like any other character set, so
// that a character beyond it shows as '?'.
bool showsGbkAsIs(const std::string& name) { return name == "GBK" || name == "GB18030" || name == "CP936"; }

// The C and POSIX locales, which glibc names after ASCII.
bool isPlainAscii(const std::string& name) {
    return name == "ANSIX341968" || name == "ASCII" || name == "USASCII";
}

// The character set the texts are converted to; empty when the GBK bytes go
// out as they are. The dialogue keeps GBK on pipes and files; the command
// line speaks the locale's encoding everywhere. A terminal in the C or POSIX
// locale (LANG unset) is taken to be UTF-8, as most terminals are.
std::string targetCodeset(int descriptor, Console::Texts texts) {
    const bool terminal = ::isatty(descriptor) != 0;
    if (!terminal && texts == Console::Texts::Dialogue) return {};
    std::setlocale(LC_CTYPE, "");  // on failure the C locale stays, which is handled below
    std::string codeset = ::nl_langinfo(CODESET);
    const std::string name = canonicalCodeset(codeset);
    if (showsGbkAsIs(name)) return {};
    if (terminal && isPlainAscii(name)) return "UTF-8";
    return codeset;
}

// Bytes of the GBK character that starts at `lead`: two for a lead byte.
std::size_t gbkCharacterLength(const char* lead, std::size_t left) {
    return static_cast<unsigned char>(*lead) >= 0x81 && left >= 2 ? 2 : 1;
}

// Converts character by character: one that `codeset` cannot hold (a Big5
// terminal has no simplified characters) shows as '?', and the rest of the
// text still converts. False only when there is no such conversion at all.
bool convertFromGbk(std::string_view gbk, const std::string& codeset, std::string& converted) {
    const iconv_t conversion = ::iconv_open(codeset.c_str(), "GBK");
    if (conversion == reinterpret_cast<iconv_t>(-1)) return false;
    converted.clear();
    char* in = const_cast<char*>(gbk.data());
    std::size_t inLeft = gbk.size();
    char piece[256];
    for (;;) {
        char* out = piece;
        std::size_t outLeft = sizeof piece;
        const bool finishing = inLeft == 0;
        const std::size_t result = finishing ? ::iconv(conversion, nullptr, nullptr, &out, &outLeft)
                                             : ::iconv(conversion, &in, &inLeft, &out, &outLeft);
        converted.append(piece, static_cast<std::size_t>(out - piece));
        if (result != static_cast<std::size_t>(-1)) {
            if (finishing) break;
            continue;
        }
        if (errno == E2BIG) continue;
        if (finishing) break;
        // EILSEQ or EINVAL: a character the target cannot hold, or a broken one.
        converted += '?';
        const std::size_t skipped = gbkCharacterLength(in, inLeft);
        in += skipped;
        inLeft -= skipped;
        ::iconv(conversion, nullptr, nullptr, nullptr, nullptr);
    }
    ::iconv_close(conversion);
    return true;
}

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

}  // namespace

Console::Console(std::ostream& stream, int descriptor, Texts texts)
    : stream_(stream), texts_(texts), codeset_(targetCodeset(descriptor, texts)) {}

bool Console::writeConverted(std::string_view gbk) {
    // Every encoding a terminal or locale uses here extends ASCII.
    if (codeset_.empty() || isAscii(gbk)) return false;
    std::string shown;
    if (!convertFromGbk(gbk, codeset_, shown)) return false;
    stream_ << shown;
    return true;
}

// Converted for the terminal as the standard streams are when they are one.
Console Console::terminal() {
    static std::ofstream device("/dev/tty");
    const int descriptor = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    Console shown(device, descriptor, Texts::CommandLine);
    if (descriptor >= 0) ::close(descriptor);
    return shown;
}

// A name is the user's bytes, shown as they are.
void Console::name(std::string_view fileName) { raw(withControlsShown(fileName)); }

void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace glint
