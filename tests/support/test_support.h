// Helpers shared by the tests: BMP files built from a few fields, scratch
// folders, whole-file reads and writes, and running a program with piped
// standard input.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/key_wait.h"

namespace testing_support {

using Bytes = std::vector<unsigned char>;

// The fields a test cares about; everything else is a plain 40-byte-header
// BMP. bfSize is 54 + data.size() unless overridden.
struct BmpFields {
    std::uint16_t bitCount = 24;
    std::int32_t width = 4;
    std::int32_t height = 4;
    std::uint32_t sizeImage = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t offBits = 54;
    std::int64_t bfSize = -1;  // -1: the real size
    Bytes data;
};

Bytes makeBmp(const BmpFields& fields);

// The data area with bit 0 of its first 32 bytes set to the bits of
// `length`, least significant first: the length word of a hidden payload.
Bytes withLengthBits(Bytes data, std::uint32_t length);

// Deterministic bytes that differ from call to call through `seed`.
Bytes patternBytes(std::size_t size, std::uint32_t seed);

// Bytes as a string, for byte-exact comparison of console output.
std::string asString(const Bytes& bytes);

void writeFile(const std::filesystem::path& path, const Bytes& bytes);
void writeText(const std::filesystem::path& path, const std::string& text);
Bytes readFile(const std::filesystem::path& path);
// The names of the entries in `folder`.
std::set<std::string> namesIn(const std::filesystem::path& folder);

// A fresh folder, removed with everything in it when the test ends.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct RunResult {
    std::string out;
    std::string err;
    int exitStatus = -1;  // -1 when the program did not exit normally
};

struct RunOptions {
    std::vector<std::string> arguments;
    std::vector<std::string> environment;  // "NAME=value", added to the test's own
    std::vector<std::string> prefix;       // a command that runs the program (wine, sh -c ...)
    std::optional<unsigned> asUser;        // another user who runs it, through setpriv (as root)
    std::uint64_t addressSpaceLimit = 0;   // bytes; 0 for none
    bool stdoutReaderGone = false;         // standard output is a pipe nobody reads
    std::filesystem::path stdoutTarget;    // standard output opened here instead (a link to /dev/full)
    bool stdinClosed = false;              // no standard input at all
};

// Runs `program` in `workingDir` with `input` as its standard input (a file,
// so the program sees no terminal) and collects what it writes. The command
// in TEST_PROGRAM_WRAPPER, if set, runs it (a memory checker, for instance);
// it is split into words as the shell splits them, so quoted names may hold
// spaces. For a run as another user, the program and the files the
// wrapper's options name are copied into `workingDir`, which that user must
// be able to enter: the build they come from may lie in a private folder.
// Only the arguments are supported on Windows, where names are UTF-8.
RunResult runProgram(const std::string& program, const std::string& input,
                     const std::filesystem::path& workingDir, const RunOptions& options = {});

// The same in the C.UTF-8 locale, where the command lines speak English
// (pipes get the dialogue's GBK all the same).
RunResult runInUtf8Locale(const std::string& program, const std::string& input,
                          const std::filesystem::path& workingDir, RunOptions options = {});

// True when the end-to-end tests run under a memory checker, which needs
// address space of its own.
bool underMemoryChecker();
// Which sanitizer the tests themselves were built with.
bool underAddressSanitizer();
bool underThreadSanitizer();

// Picture fixtures this platform's picture library does not read: Wine's
// Windows Imaging Component reads no BMP bit fields but the usual ones.
bool unreadHere(const std::string& fixture);
// Whether this platform's PNG encoder refuses more than a million rows or
// columns whatever glint asks: Wine's, built on libpng with its default
// limits. (Windows' own is not tried here.)
bool pngEncoderStopsAtAMillionRows();

// A key wait for the dialogue that only writes "<command>", so that a
// transcript shows where each wait came.
void recordPause(const char* command, common::AfterTheKey after, common::Console& out);

#ifndef _WIN32
// A user with no rights of its own, for the permission cases.
inline constexpr unsigned kNobody = 65534;

// `text` as a single word of a shell command, whatever characters it holds.
std::string shellQuoted(const std::string& text);

// The bin folder of the Windows build, named by GLINT_WINDOWS_BIN, whose
// programs the Wine tests run. Empty when it or wine is not at hand;
// `missing` then says what is missing and how to include those tests.
std::filesystem::path windowsBuildFolder(std::string& missing);

// The environment for a program in `locale` ("zh_CN.GBK": zh_CN's rules in
// the GBK character set), built with localedef into a folder that lasts the
// whole test run; C and C.UTF-8 need no building. Empty when it cannot be
// built (Debian's locales package).
std::vector<std::string> localeEnvironment(const std::string& locale);

// A program on a pseudo-terminal, as a person at a terminal runs it.
class Terminal {
public:
    // With `cursorControl`, the program is a console that moves the cursor
    // and reads raw keys (Wine's): in its output "ESC [ n C" counts as n
    // spaces and other "ESC [ ... letter" sequences are dropped before texts
    // are looked for, and keys are typed once it has the terminal in raw mode.
    Terminal(const std::vector<std::string>& command, const std::filesystem::path& workingDir,
             const std::vector<std::string>& environment, bool cursorControl = false);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // False when no pseudo-terminal could be opened.
    bool opened() const { return child_ > 0; }
    int processId() const { return child_; }
    // Waits, up to a generous limit, until `text` appears in the output after
    // where the last wait matched; false if it never does.
    bool waitFor(const std::string& text);
    void type(const std::string& keys);
    // Waits, up to the same limit, until the terminal has no echo and no
    // line editing, as for reading one key (or, with false, has them again).
    bool waitForKeyMode(bool on = true);
    // Waits for the program to end; its exit status, or -1 (also when a
    // signal ended it).
    int finish();
    // Whether the terminal echoes and edits lines, as a shell leaves it.
    bool inLineMode() const;
    // Everything the program has written, line ends as the terminal makes them.
    std::string output() const;

private:
    bool readMore(int timeoutMs);

    bool cursorControl_ = false;
    int master_ = -1;
    int child_ = -1;
    std::string output_;
    std::size_t matched_ = 0;
};
#endif

}  // namespace testing_support
