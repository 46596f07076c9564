#include "common/windows/typed_console.h"

#include "common/windows/wide_names.h"

namespace common {
namespace {

constexpr DWORD kTypedPiece = 1024;
constexpr wchar_t kEndOfInput = L'\x1a';  // Ctrl+Z

bool isHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

}  // namespace

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
