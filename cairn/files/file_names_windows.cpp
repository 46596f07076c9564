#include <windows.h>

#include <algorithm>
#include <optional>

#include "common/windows/wide_names.h"
#include "files/file_names.h"

namespace cairn::names {

// A name that holds bytes beyond ASCII and is valid UTF-8 is most likely
// UTF-8 (bytes in an ANSI code page seldom are), else it is in the ANSI code
// page; where it reads both ways, the other reading is kept too. Bytes that
// read neither way are kept as they are, and name no file.
Readings readingsOfListed(std::string_view bytes) {
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return {std::string(bytes), std::nullopt};
    }
    bool utf8 = true;
    common::wideFromUtf8(bytes, &utf8);
    bool ansi = true;
    const std::wstring wide = common::wideFromAnsi(bytes, &ansi);
    std::optional<std::string> fromAnsi;
    if (ansi) fromAnsi = common::utf8FromWide(wide);
    if (!utf8) return {fromAnsi.value_or(std::string(bytes)), std::nullopt};
    if (fromAnsi == bytes) fromAnsi.reset();  // UTF-8 is the ANSI code page
    return {std::string(bytes), std::move(fromAnsi)};
}

bool exists(const std::string& name) {
    const std::optional<std::wstring> system = common::systemNameOf(name);
    return system && ::GetFileAttributesW(system->c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Names are UTF-8 whatever the locale; what the system calls a control
// character, or does not know, is not shown.
Character characterAt(std::string_view text, std::mbstate_t& /*state*/) {
    std::size_t length = 0;
    const std::optional<char32_t> c = common::nextCodePoint(text, length);
    if (!c) return {1, false};
    if (*c >= 0x10000) return {length, true};
    const wchar_t unit = static_cast<wchar_t>(*c);
    WORD type = 0;
    const bool known = ::GetStringTypeW(CT_CTYPE1, &unit, 1, &type) != 0;
    return {length, known && (type & C1_DEFINED) != 0 && (type & C1_CNTRL) == 0};
}

}  // namespace cairn::names
