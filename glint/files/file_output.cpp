// The save rule, written once: the platforms supply its operations
// (output_file.h).
#include "files/file_output.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <utility>

#include "common/file_names.h"
#include "common/signals.h"
#include "files/output_file.h"

namespace glint {
namespace {

using Pieces = std::initializer_list<ByteRange>;

std::uint64_t totalSize(Pieces pieces) {
    std::uint64_t size = 0;
    for (const ByteRange& piece : pieces) size += piece.size;
    return size;
}

std::error_code writeRun(OutputFile& file, const unsigned char* at, std::size_t left) {
    while (left > 0) {
        std::size_t written = 0;
        if (std::error_code failed = file.writeSome(at, left, written)) return failed;
        at += written;
        left -= written;
    }
    return {};
}

// Every failure that can be foreseen comes before a byte of the old contents
// changes: the size limit (checked before), and the room on the disk. That
// room is reserved where the file system can; in any case the part beyond the
// old end is written first and cut off again if it does not fit, so that a
// full disk or quota fails the save even where nothing can be reserved. Then
// overwritten from the start and cut to the new length, never truncated
// first. Called with the signals held: a signal that ends the program waits
// until the file is whole again.
std::error_code writeInPlace(OutputTarget& target, std::uint64_t length, Pieces pieces) {
    OutputFile& file = target.file();
    std::uint64_t oldSize = 0;
    if (std::error_code failed = file.size(oldSize)) return failed;
    if (std::error_code failed = target.reserve(length, oldSize)) return failed;
    const auto writeAt = [&](std::uint64_t from, std::uint64_t to) {
        const std::error_code failed = file.seek(from);
        return failed ? failed : writeRange(file, pieces, from, to);
    };
    if (length > oldSize) {
        if (std::error_code failed = writeAt(oldSize, length)) {
            file.cut(oldSize);
            return failed;
        }
    }
    if (std::error_code failed = writeAt(0, std::min(oldSize, length))) return failed;
    if (std::error_code failed = file.cut(length)) return failed;
    return file.sync();
}

// Written beside the target and renamed into its place. Nothing means: write
// in place instead. Called with the signals held.
std::optional<std::error_code> replaceByRename(OutputTarget& target, Pieces pieces, common::SignalsHeld& held) {
    TemporaryFile temporary(target);
    if (temporary.error()) {
        if (temporary.refusedBeside()) return std::nullopt;
        return temporary.error();
    }
    if (!temporary.carriesOverTarget()) return std::nullopt;

    held.release();
    std::error_code failed = writeAll(temporary.file(), pieces);
    // On the disk before it takes the target's place, so that a power cut
    // never leaves an empty file where the old one was.
    if (!failed) failed = temporary.file().sync();
    held.hold();
    if (failed) return failed;
    return temporary.replaceTarget();
}

std::error_code saveRegularFile(OutputTarget& target, Pieces pieces, common::SignalsHeld& held) {
    const std::uint64_t length = totalSize(pieces);
    const std::optional<std::uint64_t> limit = OutputTarget::sizeLimit();
    if (limit && length > *limit) return std::make_error_code(std::errc::file_too_large);
    if (target.replaceable()) {
        if (std::optional<std::error_code> replaced = replaceByRename(target, pieces, held)) return *replaced;
    }
    if (std::error_code failed = writeInPlace(target, length, pieces)) return failed;
    return target.file().close();
}

// For the length of a save, a signal that would end the program removes
// what is pending first. Faults of the program itself are left alone:
// nothing it holds can be trusted then.
constexpr common::SignalActions kRemovePending{removePendingFiles, false, nullptr, nullptr};

}  // namespace

OutputFile::~OutputFile() {
    if (owned_ && valid()) close();
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)), owned_(other.owned_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        if (owned_ && valid()) close();
        handle_ = std::exchange(other.handle_, kNone);
        owned_ = other.owned_;
    }
    return *this;
}

std::error_code writeRange(OutputFile& file, Pieces pieces, std::uint64_t from, std::uint64_t to) {
    std::uint64_t start = 0;  // of the piece within the whole
    for (const ByteRange& piece : pieces) {
        const std::uint64_t end = start + piece.size;
        const std::uint64_t first = std::clamp(from, start, end);
        const std::uint64_t last = std::clamp(to, start, end);
        if (last > first) {
            const unsigned char* at = piece.bytes + (first - start);
            if (std::error_code failed = writeRun(file, at, static_cast<std::size_t>(last - first))) return failed;
        }
        start = end;
    }
    return {};
}

std::error_code writeAll(OutputFile& file, Pieces pieces) { return writeRange(file, pieces, 0, UINT64_MAX); }

std::error_code replaceFileContents(const char* name, Pieces pieces) {
    // SIGXFSZ is ignored first, so that the takeover leaves it so.
    const common::FileSizeLimitIsAnError limit;
    const common::SignalTakeover signals(kRemovePending);
    common::SignalsHeld held;
    OutputTarget target;
    if (std::error_code failed = target.open(name, held)) return failed;
    // Devices and pipes are written as they are.
    if (!target.isRegularFile()) {
        held.release();
        const std::error_code failed = writeAll(target.file(), pieces);
        const std::error_code closed = target.file().close();
        return failed ? failed : closed;
    }
    const std::error_code failed = saveRegularFile(target, pieces, held);
    // A file this save created and could not complete is removed again.
    if (failed && target.created()) target.removeCreated();
    return failed;
}

std::error_code writeStandardOutput(Pieces pieces) {
    const common::FileSizeLimitIsAnError limit;
    std::error_code failed;
    OutputFile output = OutputFile::standardOutput(failed);
    if (failed) return failed;
    return writeAll(output, pieces);
}

bool sameFile(const char* first, const char* second) {
    std::error_code unknown;
    return std::filesystem::equivalent(common::pathOfName(first), common::pathOfName(second), unknown) && !unknown;
}

bool existingRegularFile(const char* name) {
    std::error_code unknown;
    return std::filesystem::is_regular_file(common::pathOfName(name), unknown);
}

}  // namespace glint
