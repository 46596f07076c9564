#include "common/windows/wide_console.h"

#include <algorithm>
#include <cstring>

#include "common/windows/wide_names.h"

namespace common {
namespace {

constexpr DWORD kTypedPiece = 1024;
constexpr wchar_t kEndOfInput = L'\x1a';  // Ctrl+Z

// Older consoles fail on much longer writes.
constexpr std::size_t kConsolePiece = 8192;

}  // namespace

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode);
}

// In pieces, never splitting a surrogate pair.
bool writeToConsole(HANDLE console, std::wstring_view wide) {
    for (std::size_t at = 0; at < wide.size();) {
        const std::size_t size = pieceEnd(wide, at, kConsolePiece) - at;
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

std::int64_t TypedBytes::read(char* buffer, std::size_t size) {
    while (taken_ == text_.size()) {
        taken_ = 0;
        const TypedConsole::Typed typed = typed_.next(text_);
        if (typed == TypedConsole::Typed::End) return 0;
        if (typed == TypedConsole::Typed::Error) return -1;
    }
    const std::size_t piece = std::min(size, text_.size() - taken_);
    std::memcpy(buffer, text_.data() + taken_, piece);
    taken_ += piece;
    return static_cast<std::int64_t>(piece);
}

}  // namespace common
