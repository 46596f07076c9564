#include <cctype>
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

// GBK itself, its extension GB18030 and its subset GB2312 (EUC-CN) show the
// designed bytes as they are.
bool showsGbkAsIs(const std::string& codeset) {
    std::string name;
    for (const char c : codeset) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return name == "GBK" || name == "GB18030" || name == "GB2312" || name == "EUCCN" || name == "CP936";
}

// The character set of the user's locale when `descriptor` is a terminal
// that needs the texts converted; empty otherwise.
std::string terminalCodeset(int descriptor) {
    if (::isatty(descriptor) == 0 || std::setlocale(LC_CTYPE, "") == nullptr) return {};
    const std::string codeset = ::nl_langinfo(CODESET);
    return showsGbkAsIs(codeset) ? std::string() : codeset;
}

// False when some character has no form in `codeset` (in the C locale's
// ASCII, every Chinese one).
bool convertFromGbk(std::string_view gbk, const std::string& codeset, std::string& converted) {
    const iconv_t conversion = ::iconv_open(codeset.c_str(), "GBK");
    if (conversion == reinterpret_cast<iconv_t>(-1)) return false;
    // Four bytes per input byte and a few for a byte-order mark hold any target.
    converted.assign(4 * gbk.size() + 16, '\0');
    char* in = const_cast<char*>(gbk.data());
    std::size_t inLeft = gbk.size();
    char* out = converted.data();
    std::size_t outLeft = converted.size();
    const bool whole = ::iconv(conversion, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
                       ::iconv(conversion, nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1);
    ::iconv_close(conversion);
    converted.resize(converted.size() - outLeft);
    return whole;
}

}  // namespace

Console::Console(std::ostream& stream, int descriptor, Texts texts)
    : stream_(stream), texts_(texts), codeset_(terminalCodeset(descriptor)) {}

bool Console::writeConverted(std::string_view gbk) {
    std::string shown;
    if (codeset_.empty() || !convertFromGbk(gbk, codeset_, shown)) return false;
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

void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace glint
