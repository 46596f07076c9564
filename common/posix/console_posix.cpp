#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <string>

#include "common/console.h"
#include "common/posix/text_conversion.h"

namespace common {

// The character set the texts are converted to.
struct Console::Shown {
    std::string codeset;
};

namespace {

// GBK itself and its extension GB18030 show the designed bytes as they are.
// Its subset GB2312 (EUC-CN) is converted like any other character set, so
// that a character beyond it shows as '?'.
bool showsGbkAsIs(const std::string& name) { return name == "GBK" || name == "GB18030" || name == "CP936"; }

// Bytes of the GBK character that starts at `lead`: two for a lead byte.
std::size_t gbkCharacterLength(const char* lead, std::size_t left) {
    return static_cast<unsigned char>(*lead) >= 0x81 && left >= 2 ? 2 : 1;
}

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

}  // namespace

// None when the GBK bytes go out as they are: on pipes and files when the
// texts go as given, and on a terminal or in a locale that shows GBK.
std::shared_ptr<const Console::Shown> Console::shownOn(int descriptor, Texts texts) {
    const bool terminal = ::isatty(descriptor) != 0;
    if (!terminal && texts == Texts::AsGiven) return nullptr;
    const std::string codeset = terminal ? terminalCodeset() : localeCodeset();
    if (showsGbkAsIs(canonicalCodeset(codeset))) return nullptr;
    return std::make_shared<const Shown>(Shown{codeset});
}

// Character by character: one that the terminal's set cannot hold (a Big5
// terminal has no simplified characters) shows as '?', and the rest of the
// text still converts.
bool Console::writeConverted(std::string_view gbk) {
    // Every encoding a terminal or locale uses here extends ASCII.
    if (isAscii(gbk)) return false;
    std::string shown;
    const bool converted = convertText(shown_->codeset.c_str(), "GBK", gbk,
                                       [&](const char* bytes, std::size_t size) { shown.append(bytes, size); },
                                       gbkCharacterLength);
    if (!converted) return false;
    *stream_ << shown;
    return true;
}

// Converted for the terminal as the standard streams are when they are one.
Console Console::terminal() {
    static std::ofstream device("/dev/tty");
    const int descriptor = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    Console shown(device, shownOn(descriptor, Texts::InLocaleEncoding));
    if (descriptor >= 0) ::close(descriptor);
    return shown;
}

// A name is the user's bytes, shown as they are.
void Console::userText(std::string_view text) { raw(text); }

void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace common
