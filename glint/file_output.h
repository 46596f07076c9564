// Writing an output file so that a failure never destroys what was there.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <system_error>

namespace glint {

struct ByteRange {
    const unsigned char* bytes;
    std::size_t size;
};

// Makes `name` hold exactly the given pieces, in order. A regular file (or a
// new one) is written beside the target under a temporary name and renamed
// into place only once every byte is written and the file closed cleanly, so
// on failure an existing file keeps its old contents and no temporary stays
// behind, even when a signal ends the program mid-write. The new file keeps
// the old one's permissions and, where the process may set them, its owner
// and group. A symbolic link is followed and stays a link.
//
// Renaming must never make things worse than writing in place, so the
// target is written directly (created or truncated, then written) when it is
// not a regular file (a device or a pipe: renaming would replace the device
// itself), when it has other hard links (they must all see the new
// contents), and when no temporary file can be made beside it (a folder the
// user may not write to, or a name too long for the temporary suffix).
// Returns the reason of a failure; an empty code when the file was written.
std::error_code replaceFileContents(const char* name, std::initializer_list<ByteRange> pieces);

}  // namespace glint
