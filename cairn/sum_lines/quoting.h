// Names quoted for diagnostics as md5sum quotes them, in the locale's
// character set.
#pragma once

#include <cstddef>
#include <string>

namespace cairn {

// The name quoted for a diagnostic, as a shell would need it: bare when it
// is safe, otherwise in quotes, with $'...' for bytes that cannot be shown.
std::string quotedName(const std::string& name);
// The same, appended to `text` with room reserved for `spare` bytes more,
// so that a long name is not copied again to finish the line.
void appendQuotedName(std::string& text, const std::string& name, std::size_t spare);

}  // namespace cairn
