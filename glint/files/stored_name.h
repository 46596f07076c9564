// The rule for a file name read back from a hidden payload, which came from
// whoever made the image rather than from the user: it may name a file in
// the folder it is put in, and nothing else.
#pragma once

#include <string>

namespace glint {

// Whether `name` names a file inside the folder it is put in and nothing
// else: not empty, not "." or "..", with no separator and no NUL; on Windows
// also no drive or stream colon, no character Windows refuses in names, no
// dot or space at the end (which Windows drops) and no device name (CON,
// NUL, COM1 ...).
bool namesFileInFolder(const std::string& name);

}  // namespace glint
