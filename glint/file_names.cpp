#include "file_names.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace glint {

#ifdef _WIN32

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

#else

std::filesystem::path pathOfName(const char* name) { return std::filesystem::path(name); }

#endif

}  // namespace glint
