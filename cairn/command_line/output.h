// What cairn's command line writes, and how: whole lines on standard output
// and standard error, diagnostics named as md5sum names them, and the exit
// status of a write that failed.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "files/file_access.h"

namespace cairn {

inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;

// One string of exactly the size of its parts: a long name is not copied
// into a block twice its size.
inline std::string joined(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (const std::string_view part : parts) size += part.size();
    std::string text;
    text.reserve(size);
    for (const std::string_view part : parts) text += part;
    return text;
}

inline std::string quoted(std::string_view text) { return joined({"'", text, "'"}); }

// Standard output and standard error. Lines on standard output are gathered
// and written together, whole, up to what a pipe takes in one piece
// (PIPE_BUF), so that lines of processes sharing a pipe never mix; they are
// written before anything that may wait (flush()) and before a diagnostic,
// so that each appears as soon as it is known, in its place among them.
class Streams {
public:
    explicit Streams(const files::ClosedAtStart& closed) : closed_(closed) {}

    void output(std::string_view line, files::LineKind kind = files::LineKind::Text);
    void flush();
    bool holdsLines() const { return !gathered_.empty(); }
    void error(std::string_view bytes) {
        flush();
        lastOutputError_ = 0;
        if (files::writeLine(files::kStandardError, bytes, files::LineKind::Text) != 0) errorFailed_ = true;
    }
    // A diagnostic that could not be written fails the run, as in md5sum.
    bool errorFailed() const { return errorFailed_; }
    // "cairn: WHAT" on standard error.
    void diagnose(std::string_view what);
    void diagnose(std::string_view what, int errorNumber);
    // "cairn: NAME: reason", with the name quoted as a shell would need it.
    void diagnoseFile(const std::string& name, int errorNumber);

    // Named as md5sum names it, once the lines gathered are written. Its
    // lines that end in a newline leave nothing behind to write at the end,
    // but NUL-ended ones (--zero) do, until a diagnostic goes out first: a
    // reason is given only when that last write fails, or when standard
    // output was closed.
    bool reportWriteFailure(bool zero);
    const files::ClosedAtStart& closedAtStart() const { return closed_; }

private:
    void wrote(int error) {
        lastOutputError_ = error;
        outputFailed_ = outputFailed_ || error != 0;
    }

    files::ClosedAtStart closed_;
    std::string gathered_;
    bool outputFailed_ = false;
    int lastOutputError_ = 0;  // of the last line written since the last diagnostic
    bool errorFailed_ = false;
};

// "cairn: WHAT" and the hint to --help; returns the exit status.
int usageError(Streams& streams, std::string_view what);

// Loads what the locale needs to quote a name and to say why a file failed:
// its character converter and the system's translated error texts.
void loadLocaleData();

}  // namespace cairn
