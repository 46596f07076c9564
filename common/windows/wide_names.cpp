#include <windows.h>

#include <algorithm>
#include <climits>
#include <optional>

#include "common/windows/wide_names.h"

namespace common {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;
// The system's conversions count in int: long texts go in pieces.
constexpr std::size_t kPiece = std::size_t{1} << 20;

bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendUtf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
        return;
    }
    static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    const unsigned trail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    text += static_cast<char>(kLead[trail] | (c >> (6 * trail)));
    for (unsigned k = trail; k-- > 0;) text += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
}

void clear(bool* flag) {
    if (flag != nullptr) *flag = false;
}

}  // namespace

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

std::size_t pieceEnd(std::wstring_view wide, std::size_t at, std::size_t most) {
    const std::size_t end = at + std::min(wide.size() - at, most);
    return end < wide.size() && end - at > 1 && isHighSurrogate(wide[end - 1]) ? end - 1 : end;
}

// RFC 3629: the code point of the sequence at `at`, which moves past it;
// nothing for a byte that starts no valid sequence (overlong, a surrogate,
// beyond U+10FFFF, cut short), which `at` moves past alone.
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& at) {
    const unsigned char lead = static_cast<unsigned char>(text[at++]);
    if (lead < 0x80) return lead;
    const std::size_t trail = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    if (lead < 0xC2 || lead > 0xF4 || text.size() - at < trail) return std::nullopt;
    char32_t c = lead & (0x3Fu >> trail);
    for (std::size_t k = 0; k < trail; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (next & 0x3Fu);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[trail] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    at += trail;
    return c;
}

std::string utf8FromWide(std::wstring_view wide, bool* lossless) {
    std::string text;
    text.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (isHighSurrogate(c) && i + 1 < wide.size() && isLowSurrogate(wide[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00u);
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            c = U'?';
            clear(lossless);
        }
        appendUtf8(text, c);
    }
    return text;
}

std::wstring wideFromUtf8(std::string_view utf8, bool* valid) {
    std::wstring wide;
    wide.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::optional<char32_t> c = nextCodePoint(utf8, at);
        if (!c) {
            wide += kReplacement;
            clear(valid);
        } else if (*c >= 0x10000) {
            wide += static_cast<wchar_t>(0xD800 + ((*c - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((*c - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(*c);
        }
    }
    return wide;
}

// MB_ERR_INVALID_CHARS is allowed with every code page that can be the ANSI
// one; text longer than an int can count is no name.
std::wstring wideFromAnsi(std::string_view ansi, bool* valid) {
    if (::GetACP() == CP_UTF8) return wideFromUtf8(ansi, valid);
    if (ansi.empty()) return {};
    const int length = ansi.size() <= INT_MAX ? static_cast<int>(ansi.size()) : 0;
    const int needed =
        length == 0 ? 0 : ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), length, nullptr, 0);
    if (needed <= 0) {
        clear(valid);
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), length, wide.data(), needed);
    return wide;
}

// WC_NO_BEST_FIT_CHARS and a default character are allowed with every ANSI
// code page but UTF-8, which holds every character anyway.
std::string ansiFromWide(std::wstring_view wide, bool* lossless) {
    if (::GetACP() == CP_UTF8) return utf8FromWide(wide, lossless);
    std::string ansi;
    for (std::size_t at = 0; at < wide.size();) {
        const std::size_t size = pieceEnd(wide, at, kPiece) - at;
        const int length = static_cast<int>(size);
        BOOL usedDefault = FALSE;
        const int needed = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data() + at, length, nullptr, 0,
                                                 "?", &usedDefault);
        if (needed > 0) {
            const std::size_t start = ansi.size();
            ansi.resize(start + static_cast<std::size_t>(needed));
            ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data() + at, length, ansi.data() + start, needed,
                                  "?", &usedDefault);
        }
        if (needed <= 0 || usedDefault) clear(lossless);
        at += size;
    }
    return ansi;
}

// GetFullPathNameW does what \\?\ turns off: it makes the path absolute,
// resolves "." and "..", and turns '/' into '\'.
std::wstring fileSystemName(const std::wstring& name) {
    if (isExtendedLengthPath(name) || name.rfind(L"\\\\.\\", 0) == 0) return name;
    const DWORD needed = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (needed <= MAX_PATH) return name;  // its NUL counted: shorter than MAX_PATH, or not a path at all
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(name.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return name;
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
    return L"\\\\?\\" + full;
}

std::string bytesForReader(std::string_view utf8, bool keepEveryCharacter) {
    bool lossless = true;
    std::string ansi = ansiFromWide(wideFromUtf8(utf8), &lossless);
    return keepEveryCharacter && !lossless ? std::string(utf8) : ansi;
}

bool isExtendedLengthPath(std::wstring_view name) { return name.rfind(L"\\\\?\\", 0) == 0; }

std::optional<std::wstring> systemNameOf(std::string_view name) {
    bool valid = true;
    const std::wstring wide = wideFromUtf8(name, &valid);
    if (!valid) return std::nullopt;
    return fileSystemName(wide);
}

}  // namespace common
