#include <windows.h>

#include <string>

#include "console.h"
#include "file_names_windows.h"

namespace glint {

namespace {

constexpr UINT kGbkCodePage = 936;

std::wstring wideFromGbk(std::string_view gbk) {
    const int length = static_cast<int>(gbk.size());
    const int needed = ::MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) ::MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), length, wide.data(), needed);
    return wide;
}

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode);
}

// Whatever is buffered for either stream goes out first, in order.
bool writeToConsole(std::ostream& stream, HANDLE console, const std::wstring& wide) {
    if (std::ostream* tied = stream.tie()) tied->flush();
    stream.flush();
    DWORD written = 0;
    return ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
}

}  // namespace

Console::Console(std::ostream& stream, int descriptor, Texts texts) : stream_(stream), texts_(texts) {
    HANDLE handle = ::GetStdHandle(descriptor == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (isConsole(handle)) consoleHandle_ = handle;
}

// A console shows UTF-16 whatever its code page. Elsewhere the dialogue
// writes the designed GBK bytes and the command line the ANSI code page's.
bool Console::writeConverted(std::string_view gbk) {
    if (consoleHandle_ == nullptr && texts_ == Texts::Dialogue) return false;
    const std::wstring wide = wideFromGbk(gbk);
    if (wide.empty()) return gbk.empty();
    if (consoleHandle_ == nullptr) {
        stream_ << ansiFromWide(wide);
        return true;
    }
    return writeToConsole(stream_, consoleHandle_, wide);
}

// Names are UTF-8 inside the program: a console shows them as they were
// given, and pipes and files get them as the command line's texts.
void Console::name(std::string_view fileName) {
    const std::wstring wide = wideFromUtf8(withControlsShown(fileName));
    if (consoleHandle_ == nullptr || !writeToConsole(stream_, consoleHandle_, wide)) stream_ << ansiFromWide(wide);
}

// The console's own screen buffer, even when standard output is redirected.
Console Console::terminal() {
    static std::ostream nowhere(nullptr);  // only converted texts are written here
    static const HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, 0, nullptr);
    Console shown(nowhere);
    if (isConsole(console)) shown.consoleHandle_ = console;
    return shown;
}

void ignoreBrokenPipes() {}

}  // namespace glint
