// Writing an output file so that a failure never destroys what was there,
// and writing standard output.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <system_error>

namespace glint {

struct ByteRange {
    const unsigned char* bytes;
    std::size_t size;
};

// Makes `name` hold exactly the given pieces, in order, writing only where a
// plain write by the same user would be allowed: the target is opened as a
// plain save opens it, and a refusal changes nothing. A save that fails
// leaves an existing file as it was (contents, name, links, owner, group,
// mode; on Windows attributes and ACL), and removes a file it created.
//
// A regular file with one name is written beside the file opened under a
// temporary name that only its writer may read, flushed, given the old
// file's owner, group and mode, and renamed into place only if the name
// still leads to the file that was opened. Devices and pipes are written as
// they are; a file with other hard links, whose owner or group a new file
// could not be given exactly, or beside which no temporary can be made, is
// written in place: room reserved and size limit checked first, overwritten
// from the start, then cut to length. A signal that ends the program
// removes a pending temporary first, or waits until an in-place write is
// done.
//
// Returns the system's reason of a failure (POSIX: errno in the generic
// category, ESTALE when the name no longer leads to the opened file;
// Windows: the Windows error in the system category, ERROR_FILE_INVALID for
// that case); an empty code when the file was written.
std::error_code replaceFileContents(const char* name, std::initializer_list<ByteRange> pieces);

// Whether the two names lead to one and the same file, however they are
// spelt or linked (the device and file number, or Windows' volume and file
// index); false when either leads nowhere.
bool sameFile(const char* first, const char* second);

// Whether the name leads to a file on a disk that a save would replace (a
// device or a pipe is written, never replaced).
bool existingRegularFile(const char* name);

// Writes the pieces to standard output as they are (what "-" names as an
// output), after anything already buffered for it. Passing the file-size
// limit fails the write as it fails a save. Returns the reason of a failure;
// an empty code when every byte was written.
std::error_code writeStandardOutput(std::initializer_list<ByteRange> pieces);

}  // namespace glint
