#include <windows.h>

#include "common/windows/wide_names.h"
#include "files/file_names.h"

namespace glint {

// A name that is not UTF-8 comes from no user; '?' opens no file.
std::filesystem::path pathOfName(const char* name) {
    bool valid = true;
    const std::wstring wide = common::wideFromUtf8(name, &valid);
    return std::filesystem::path(valid ? common::fileSystemName(wide) : L"?");
}

}  // namespace glint
