// Writing an output file so that a failure never destroys what was there.
#pragma once

#include <cstddef>
#include <initializer_list>

namespace glint {

struct ByteRange {
    const unsigned char* bytes;
    std::size_t size;
};

// Makes `name` hold exactly the given pieces, in order. A regular file (or a
// new one) is written beside the target under a temporary name and renamed
// into place only once every byte is written and the file closed cleanly, so
// on failure an existing file keeps its old contents and no temporary stays
// behind. A symbolic link is followed and stays a link. A target that exists
// and is not a regular file (a device, a pipe) is written directly: renaming
// over it would replace the device itself. Returns false on any failure.
bool replaceFileContents(const char* name, std::initializer_list<ByteRange> pieces);

}  // namespace glint
