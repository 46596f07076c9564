#include "common/file_names.h"
#include "common/windows/wide_names.h"

namespace common {

std::filesystem::path pathOfName(const char* name) { return systemNameOf(name).value_or(L"?"); }

// Names are UTF-8 inside the program.
std::string printableName(std::string_view name) { return printableUtf8Name(name); }

}  // namespace common
