// The lines of an MD5 sums file, written and read exactly as GNU coreutils'
// md5sum writes and reads them, so that sums files and scripts work with
// either program. Nothing here touches the file system.
#pragma once

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

struct SumLine {
    std::string hex;  // 32 lower-case digits
    std::string name;
    // Where the name's bytes read two ways (file_names.h): the other
    // reading, to be taken only when it leads to a file and `name` does not.
    std::optional<std::string> otherName;
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

}  // namespace cairn
