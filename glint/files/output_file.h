// The operations each platform supplies to the save rule of file_output.cpp
// (output_file_posix.cpp, output_file_windows.cpp): opening, making a
// temporary beside the target, replacing, seeking, writing, cutting, the
// queries that choose between them, and removing. None of them calls back
// into the rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <system_error>

#include "common/signals.h"
#include "files/file_output.h"

namespace glint {

// An open file (a descriptor, or a Windows HANDLE), closed with this unless
// it is a standard stream.
class OutputFile {
public:
    static constexpr std::intptr_t kNone = -1;
    explicit OutputFile(std::intptr_t handle = kNone, bool owned = true) : handle_(handle), owned_(owned) {}
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Standard output, after whatever its stream has buffered.
    static OutputFile standardOutput(std::error_code& failed);

    std::intptr_t handle() const { return handle_; }
    bool valid() const { return handle_ != kNone; }
    // Writes some of `size` bytes, at most what one call of the system
    // moves; a write that moves nothing is a failure.
    std::error_code writeSome(const unsigned char* bytes, std::size_t size, std::size_t& written);
    std::error_code seek(std::uint64_t offset);
    // Cuts (or extends) the file to `length` bytes.
    std::error_code cut(std::uint64_t length);
    std::error_code size(std::uint64_t& bytes);
    // On the disk before it returns.
    std::error_code sync();
    // Some file systems report a failed write only when the file is closed.
    std::error_code close();

private:
    std::intptr_t handle_;
    bool owned_;
};

// The file named by a save, opened as a plain save opens it, so that the
// system's own rules decide whether it may be written; never truncated.
class OutputTarget {
public:
    OutputTarget();
    ~OutputTarget();
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    // Called with the signals held, which it may let through while it waits
    // for the reader of a pipe.
    std::error_code open(const char* name, common::SignalsHeld& held);
    OutputFile& file() { return file_; }
    // A file on a disk, not a device or a pipe.
    bool isRegularFile() const;
    // Created by this save, so removed again if the save fails.
    bool created() const;
    void removeCreated();
    // Whether a new file renamed into its place could be the same file in
    // every way a plain write keeps it: one name, in a folder known and
    // allowed to replace it.
    bool replaceable() const;
    // The largest file the system lets this process write; nothing when
    // there is no limit.
    static std::optional<std::uint64_t> sizeLimit();
    // Room for `length` bytes, where the file system can reserve it.
    std::error_code reserve(std::uint64_t length, std::uint64_t oldSize);

private:
    friend class TemporaryFile;
    struct Found;  // what the platform found out about the opened file
    OutputFile file_;
    std::unique_ptr<Found> found_;
};

// A file created exclusively beside the target, readable by its creator
// alone until it is complete; removed again unless it replaced the target.
class TemporaryFile {
public:
    explicit TemporaryFile(OutputTarget& target);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    OutputFile& file() { return file_; }
    // Nothing when it was created; otherwise why not.
    const std::error_code& error() const { return error_; }
    // It could not be made because the folder may not be written or the
    // name is too long: the target is written in place instead.
    bool refusedBeside() const;
    // The new file carries what the target carries (its file system, its
    // security label and no ACL or capability of its own), so that the
    // replacement changes nothing but the contents.
    bool carriesOverTarget() const;
    // Takes the target's owner, group and mode (on Windows its attributes
    // and ACL) and its place, only if the target's name still leads to the
    // file that was opened. Nothing means: write in place instead.
    std::optional<std::error_code> replaceTarget();

private:
    struct Made;
    OutputTarget& target_;
    OutputFile file_;
    std::error_code error_;
    std::unique_ptr<Made> made_;
};

// What a signal that ends the program mid-save removes first: a pending
// temporary, and a target this save created. Async-signal-safe.
void removePendingFiles();

// Writes every byte of the pieces, or of the bytes [from, to) of them laid
// end to end, at the file's position.
std::error_code writeAll(OutputFile& file, std::initializer_list<ByteRange> pieces);
std::error_code writeRange(OutputFile& file, std::initializer_list<ByteRange> pieces, std::uint64_t from,
                           std::uint64_t to);

}  // namespace glint
