// What cairn's command line asks of the operating system: reading files and
// lists, writing whole lines, the standard descriptors and the processors.
// One implementation per platform (file_access_posix.cpp,
// file_access_windows.cpp), chosen in CMakeLists.txt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cairn::files {

constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;
constexpr int kStandardError = 2;

// Which standard descriptors were closed when the program started.
struct ClosedAtStart {
    bool input = false;
    bool output = false;
};

// Notes which standard descriptors are closed. They stay closed, as in
// md5sum: every read and write of one fails with EBADF, no file opened later
// keeps its number, and "/dev/stdin" names nothing when standard input is closed.
ClosedAtStart guardStandardDescriptors();

// The standard streams in binary mode, where the system has another: sums
// files are the same on every system, and every line ends in LF alone.
void useBinaryStandardStreams();

// The processors this process may run on (what nproc counts); at least 1.
unsigned usableProcessors();

// What a look at a file by its name tells before it is opened.
struct Facts {
    // Anything but a regular file or a folder (a pipe, a terminal or other
    // device, a socket): its bytes can be read only once, so one reader at a
    // time reads it, in turn. False also when the look failed: opening the
    // file then tells why.
    bool stream = false;
    std::uint64_t size = 0;
    // The file standard output or standard error was writing to at start:
    // what it holds depends on what the run has written before it, so it is
    // read in its turn, after the lines before it are out, as md5sum reads it.
    bool ownOutput = false;
};
Facts factsOf(const char* name);

// A descriptor open for reading, or -1 with errno set. A folder fails with
// EISDIR, here or when it is read, as md5sum reports it. `sequential` tells
// the system the file will be read once from start to end.
int openForReading(const char* name, bool sequential);

// Where `name` splits into a folder and a name within it that, looked up
// from the folder's descriptor, is the file the whole name is: the length
// of the folder part and where the rest starts. Nothing where the name has
// no folder part, where it is too long for the split to fail as the whole
// name would, or where the system opens no folders (Windows). Many names
// of one folder are then looked up without walking its path each time.
struct FolderSplit {
    std::size_t folderLength;
    std::size_t restStart;
};
std::optional<FolderSplit> splitFolder(std::string_view name);
// A descriptor of the folder `path` for factsAt and openAt, or -1 with errno set.
int openFolder(const char* path);
// factsOf and openForReading for `name` within the folder `folder`.
Facts factsAt(int folder, const char* name);
int openAt(int folder, const char* name, bool sequential);

// Bytes read (0 at the end), or -1 with errno set; interrupted reads are retried.
std::int64_t readSome(int descriptor, unsigned char* buffer, std::size_t size);
void closeFile(int descriptor);
// True when reading `descriptor` now might wait for bytes not yet there (a
// pipe or terminal with nothing ready); false for files, which never wait.
bool readMightWait(int descriptor);

// Writes all of `size` bytes with as few calls as the system allows: one for
// a line on a pipe, so that lines of processes sharing it never interleave.
// Returns 0, or the system's error number.
int writeAll(int descriptor, const char* bytes, std::size_t size);

// What a line carries, for a system whose names are not bytes (Windows): a
// sum line must keep every character of its name for the check that reads
// it back; any other line is text for a reader.
enum class LineKind { Sum, Text };

// Writes a whole line as writeAll does. On POSIX its bytes as they are. On
// Windows, where names are UTF-8 inside the program, a console shows it
// whatever its code page; elsewhere it goes in the ANSI code page, with '?'
// for a character that the code page cannot hold, but a sum line with such
// a character goes in UTF-8.
int writeLine(int descriptor, std::string_view line, LineKind kind);
// Appends the bytes writeLine would write for `line` to `lines`, to be
// written together with writeAll; false, with nothing appended, where each
// line must go out on its own (characters beyond ASCII for a Windows console).
bool appendLine(int descriptor, std::string_view line, LineKind kind, std::string& lines);

}  // namespace cairn::files
