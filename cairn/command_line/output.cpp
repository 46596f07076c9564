#include "command_line/output.h"

#include <cerrno>
#include <cstring>
#include <cwchar>

#include "messages.h"
#include "sum_lines/quoting.h"

namespace cairn {
namespace {

// What one write to a pipe holds without a write of another process coming
// in between (POSIX's PIPE_BUF on Linux, and at least 512 everywhere).
constexpr std::size_t kLinesPerWrite = 4096;

}  // namespace

void Streams::output(std::string_view line, files::LineKind kind) {
    const std::size_t before = gathered_.size();
    // A line longer than a write of gathered lines goes out alone, uncopied.
    if (line.size() > kLinesPerWrite || !files::appendLine(files::kStandardOutput, line, kind, gathered_)) {
        flush();
        wrote(files::writeLine(files::kStandardOutput, line, kind));
        return;
    }
    if (gathered_.size() <= kLinesPerWrite) return;
    wrote(files::writeAll(files::kStandardOutput, gathered_.data(), before));
    gathered_.erase(0, before);
}

void Streams::flush() {
    if (gathered_.empty()) return;
    wrote(files::writeAll(files::kStandardOutput, gathered_.data(), gathered_.size()));
    gathered_.clear();
}

void Streams::diagnose(std::string_view what) { error(joined({msg::kProgramPrefix, what, "\n"})); }

void Streams::diagnose(std::string_view what, int errorNumber) {
    diagnose(joined({what, ": ", std::strerror(errorNumber)}));
}

void Streams::diagnoseFile(const std::string& name, int errorNumber) {
    const std::string_view reason = std::strerror(errorNumber);
    std::string text = msg::kProgramPrefix;
    appendQuotedName(text, name, reason.size() + 3);
    text.append(": ").append(reason).append("\n");
    error(text);
}

bool Streams::reportWriteFailure(bool zero) {
    flush();
    if (!outputFailed_) return false;
    const int reason = closed_.output ? EBADF : zero ? lastOutputError_ : 0;
    if (reason != 0) {
        diagnose(msg::kWriteError, reason);
    } else {
        diagnose(msg::kWriteError);
    }
    return true;
}

int usageError(Streams& streams, std::string_view what) {
    streams.diagnose(what);
    streams.error(msg::kTryHelp);
    return kFailed;
}

// The C library loads each when first used, for good or ill, and loading
// takes a descriptor. md5sum hashes one file at a time and closes it before it
// reports on it, so it loads them with none of its files open; so does
// cairn, before its workers open any.
void loadLocaleData() {
    std::mbstate_t state{};
    wchar_t wide = 0;
    std::mbrtowc(&wide, "\x80", 1, &state);
    static_cast<void>(std::strerror(ENOENT));
}

}  // namespace cairn
