#include <windows.h>

#include <string>

#include "console.h"
#include "file_names_windows.h"

namespace cairn {

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
    // Whatever is buffered for either stream goes out first, in order.
    if (std::ostream* tied = stream_.tie()) tied->flush();
    stream_.flush();
    DWORD written = 0;
    return ::WriteConsoleW(consoleHandle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
}

}  // namespace cairn
