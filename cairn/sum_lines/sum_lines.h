// The lines of an MD5 sums file, written and read exactly as GNU coreutils'
// md5sum writes and reads them, so that sums files and scripts work with
// either program.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cairn {

// "<hex>  NAME", "<hex> *NAME" (binary) or "MD5 (NAME) = <hex>" (tag), without
// its line end. A name that holds a backslash, a newline or a carriage
// return is escaped and the line starts with a backslash; with `zero` lines
// end in NUL and names are written as they are.
std::string sumLine(const std::string& hex, const std::string& name, bool binary, bool tag, bool zero);

// The name as a check report shows it: escaped, after a backslash, only when
// it holds a newline.
std::string checkedName(const std::string& name);

// The name quoted for a diagnostic, as a shell would need it: bare when it
// is safe, otherwise in quotes, with $'...' for bytes that cannot be shown.
std::string quotedName(const std::string& name);
// The same, appended to `text` with room reserved for `spare` bytes more,
// so that a long name is not copied again to finish the line.
void appendQuotedName(std::string& text, const std::string& name, std::size_t spare);

struct SumLine {
    std::string hex;  // 32 lower-case digits
    std::string name;
};

// Reads the lines of sums files: plain lines with a text (" ") or binary
// ("*") marker, tagged lines, escaped names, and the reversed "<hex> NAME"
// form of BSD tools. The reversed form is recognised only while no plain
// line has been seen, and then a plain line is read that way too, so that a
// leading space or star is never silently taken from a name.
class SumLineReader {
public:
    // `line` comes without its line end; nothing when it is not a sum line.
    std::optional<SumLine> read(std::string_view line);

private:
    std::optional<SumLine> readTagged(std::string_view rest, bool escaped);
    std::optional<SumLine> readPlain(std::string_view rest, bool escaped);

    enum class Reversed { Unknown, No, Yes };
    Reversed reversed_ = Reversed::Unknown;
};

// The lines of a sums list, read from a descriptor in large pieces. A line
// may be of any length and hold any byte but the newline that ends it; the
// last one may lack its newline, also when a read fails after it.
class ListReader {
public:
    explicit ListReader(int descriptor);

    // The next whole line, without its newline, valid until the next call.
    // False when no whole line is buffered: fill() then, unless finished().
    bool nextLine(std::string_view& line);
    bool finished() const { return ended_ && begin_ == end_; }
    // Reads once; the buffer grows for a line longer than it.
    void fill();
    int descriptor() const { return descriptor_; }
    // The system's error number when a read failed; 0 otherwise.
    int error() const { return error_; }

private:
    const int descriptor_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t begin_ = 0;    // the first byte not yet handed out
    std::size_t end_ = 0;      // the end of the bytes read
    std::size_t scanned_ = 0;  // bytes after begin_ known to hold no newline
    bool ended_ = false;
    int error_ = 0;
};

}  // namespace cairn
