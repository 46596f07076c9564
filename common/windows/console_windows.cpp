#include <windows.h>

#include <string>

#include "common/console.h"
#include "common/windows/wide_console.h"
#include "common/windows/wide_names.h"

namespace common {

// A console shows UTF-16 whatever its code page; without one, the command
// line's texts go in the ANSI code page.
struct Console::Shown {
    HANDLE console = nullptr;  // null: not a console
};

namespace {

constexpr UINT kGbkCodePage = 936;

std::wstring wideFromGbk(std::string_view gbk) {
    const int length = static_cast<int>(gbk.size());
    const int needed = ::MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) ::MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), length, wide.data(), needed);
    return wide;
}

// Whatever is buffered for either stream goes out first, in order.
bool writeAfterWhatIsBuffered(std::ostream& stream, HANDLE console, const std::wstring& wide) {
    if (std::ostream* tied = stream.tie()) tied->flush();
    stream.flush();
    return writeToConsole(console, wide);
}

}  // namespace

// None where the texts go as given: on pipes and files.
std::shared_ptr<const Console::Shown> Console::shownOn(int descriptor, Texts texts) {
    HANDLE handle = ::GetStdHandle(descriptor == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (!isConsole(handle)) handle = nullptr;
    if (handle == nullptr && texts == Texts::AsGiven) return nullptr;
    return std::make_shared<const Shown>(Shown{handle});
}

bool Console::writeConverted(std::string_view gbk) {
    const std::wstring wide = wideFromGbk(gbk);
    if (wide.empty()) return gbk.empty();
    if (shown_->console == nullptr) {
        *stream_ << ansiFromWide(wide);
        return true;
    }
    return writeAfterWhatIsBuffered(*stream_, shown_->console, wide);
}

// Names are UTF-8 inside the program: a console shows them as they were
// given, and pipes and files get them as the command line's texts.
void Console::userText(std::string_view text) {
    const HANDLE console = shown_ ? shown_->console : nullptr;
    if (console == nullptr || !writeAfterWhatIsBuffered(*stream_, console, wideFromUtf8(text))) {
        *stream_ << bytesForReader(text, false);
    }
}

// The console's own screen buffer, even when standard output is redirected.
Console Console::terminal() {
    static std::ostream nowhere(nullptr);  // only converted texts are written here
    static const HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (!isConsole(console)) return Console(nowhere);
    return Console(nowhere, std::make_shared<const Shown>(Shown{console}));
}

void ignoreBrokenPipes() {}

}  // namespace common
