#include "common/windows/wide_console.h"

#include <algorithm>


#include "common/windows/wide_names.h"

namespace common {
namespace {

constexpr DWORD kTypedPiece = 1024;
constexpr wchar_t kEndOfInput = L'\x1a';  // Ctrl+Z

// Older consoles fail on much longer writes.
constexpr std::size_t kConsolePiece = 8192;

bool isHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

}  // namespace

// In pieces, never splitting a surrogate pair.
bool writeToConsole(HANDLE console, std::wstring_view wide) {
    for (std::size_t at = 0; at < wide.size();) {
        std::size_t size = std::min(wide.size() - at, kConsolePiece);
        if (at + size < wide.size() && isHighSurrogate(wide[at + size - 1])) --size;
        DWORD written = 0;
        if (!::WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(size), &written, nullptr) || written == 0) {
            return false;
        }
        at += written;
    }
    return true;
}

TypedConsole::Typed TypedConsole::next(std::string& text) {
    text.clear();
    wchar_t typed[kTypedPiece];
    DWORD count = 0;
    if (!::ReadConsoleW(console_, typed, kTypedPiece, &count, nullptr)) return Typed::Error;
    std::wstring wide = held_ + std::wstring(typed, count);
    held_.clear();
    if (count == 0 || (atLineStart_ && wide[0] == kEndOfInput)) {
        atLineStart_ = true;
        return Typed::End;
    }
    atLineStart_ = wide.back() == L'\n';
    // A surrogate pair or a CR LF that one read cut in two is joined by the next.
    if (wide.back() == L'\r' || isHighSurrogate(wide.back())) {
        held_ = wide.back();
        wide.pop_back();
    }
    for (std::size_t at; (at = wide.find(L"\r\n")) != std::wstring::npos;) wide.erase(at, 1);
    // A lone surrogate becomes '?', which no file name contains.
    text = utf8FromWide(wide);
    return Typed::Text;
}

}  // namespace common
