#include "common/file_names.h"
#include "common/windows/wide_names.h"

namespace common {

std::filesystem::path pathOfName(const char* name) { return systemNameOf(name).value_or(L"?"); }

}  // namespace common
