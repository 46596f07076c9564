#include <windows.h>

#include <string>

#include "file_names.h"

namespace glint {

// Converted as the C runtime converts narrow names, never byte by byte: a
// GBK trail byte 0x5C is part of a character, not a folder separator.
std::filesystem::path pathOfName(const char* name) {
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (needed <= 1) return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, name, -1, wide.data(), needed);
    wide.pop_back();  // the terminating NUL
    return std::filesystem::path(wide);
}

}  // namespace glint
