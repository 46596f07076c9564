#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_access.h"
#include "sum_lines/list_reader.h"
#include "sum_lines/quoting.h"
#include "sum_lines/sum_line_format.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;

const std::string kHex = "900150983cd24fb0d6963f7d28e17f72";

// md5sum's own lines for the same names (GNU coreutils 9.1).
TEST(SumLineFormat, WritesLinesAsMd5sumDoes) {
    struct Case {
        std::string name;
        bool binary, tag, zero;
        std::string line;
    };
    const Case cases[] = {
        {"a.txt", false, false, false, kHex + "  a.txt"},
        {"a.txt", true, false, false, kHex + " *a.txt"},
        {"a.txt", true, true, false, "MD5 (a.txt) = " + kHex},
        {"a\\b", false, false, false, "\\" + kHex + "  a\\\\b"},
        {"a\nb", true, false, false, "\\" + kHex + " *a\\nb"},
        {"a\rb", false, true, false, "\\MD5 (a\\rb) = " + kHex},
        {"a\nb", false, false, true, kHex + "  a\nb"},  // -z: names as they are
        {"a (1)", false, true, true, "MD5 (a (1)) = " + kHex},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cairn::sumLine(kHex, c.name, c.binary, c.tag, c.zero), c.line) << c.name;
    }
    EXPECT_EQ(cairn::checkedName("a\nb\\c"), "\\a\\nb\\\\c");
    EXPECT_EQ(cairn::checkedName("a\\b"), "a\\b");  // escaped only for a newline
}

// Lines read one after another by one reader, as md5sum -c reads a list:
// nothing means the line is improper.
TEST(SumLineFormat, ReadsLinesAsMd5sumDoes) {
    struct Case {
        std::string line;
        std::optional<std::string> name;
    };
    const std::string upper = "900150983CD24FB0D6963F7D28E17F72";
    const std::vector<Case> plainFirst = {
        {kHex + "  a.txt", "a.txt"},
        {kHex + " *a.txt", "a.txt"},
        {" \t" + upper + "  lead", "lead"},
        {kHex + "  two  spaces ", "two  spaces "},
        {kHex + " a.txt", std::nullopt},  // the reversed form, after a plain line
        {kHex + "  ", std::nullopt},
        {kHex.substr(1) + "  short", std::nullopt},
        {std::string("x").append(kHex, 1).append("  nothex"), std::nullopt},
        {"MD5 (t a g) = " + kHex, "t a g"},
        {"MD5(nospace)=" + kHex, "nospace"},
        {"MD5 (a) b) = " + kHex, "a) b"},
        {"MD5 (a) " + kHex, std::nullopt},
        {"\\" + kHex + "  a\\nb\\\\c\\r", "a\nb\\c\r"},
        {"\\" + kHex + "  a\\qb", std::nullopt},
        {"\\" + kHex + "  trailing\\", std::nullopt},
        {kHex + "  cut\0here"s, "cut"},
        {"\\" + kHex + "  cut\0here"s, std::nullopt},
    };
    cairn::SumLineReader reader;
    for (const Case& c : plainFirst) {
        const std::optional<cairn::SumLine> read = reader.read(c.line);
        ASSERT_EQ(read.has_value(), c.name.has_value()) << c.line;
        if (!read) continue;
        EXPECT_EQ(read->name, *c.name) << c.line;
        EXPECT_EQ(read->hex, kHex) << c.line;
    }

    // A list whose first sum line is reversed ("<hex> NAME", from BSD tools)
    // keeps the marker as part of every later name.
    cairn::SumLineReader reversed;
    EXPECT_EQ(reversed.read(kHex + " first")->name, "first");
    EXPECT_EQ(reversed.read(kHex + "  spaced")->name, " spaced");
    EXPECT_EQ(reversed.read(kHex + " *starred")->name, "*starred");
}

// Names as md5sum quotes them in its diagnostics (GNU coreutils 9.1), in the
// C locale and in C.UTF-8.
TEST(Quoting, QuotesNamesAsMd5sumDoes) {
    struct Case {
        std::string name;
        std::string quoted;
    };
    const Case inC[] = {
        {"plain.txt", "plain.txt"},
        {"a b", "'a b'"},
        {"it's", "\"it's\""},
        {"a'b$", "'a'\\''b$'"},
        {"~home", "'~home'"},
        {"#x", "'#x'"},
        {"x#", "x#"},
        {"a{", "a{"},
        {"{", "'{'"},
        {"*", "'*'"},
        {"semi;colon", "'semi;colon'"},
        {"a\\b", "'a\\b'"},
        {"", "''"},
        {"a\nb", "'a'$'\\n''b'"},
        {"tab\there", "'tab'$'\\t''here'"},
        {"\x01", "''$'\\001'"},
        {"\xff", "''$'\\377'"},
        {"\xe4\xb8\xad", "''$'\\344\\270\\255'"},
        {"it's\n", "'''it'\\''s'$'\\n'"},  // md5sum's own slip, kept
    };
    for (const Case& c : inC) EXPECT_EQ(cairn::quotedName(c.name), c.quoted) << c.name;

    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "needs the C.UTF-8 locale (Debian's libc-bin)";
    const Case inUtf8[] = {
        {"\xe4\xb8\xad", "\xe4\xb8\xad"},
        {"a\xe4\xb8\xad" "b c", "'a\xe4\xb8\xad" "b c'"},
        {"ok\xe4\xb8", "'ok'$'\\344\\270'"},  // a character cut off by the end
    };
    for (const Case& c : inUtf8) EXPECT_EQ(cairn::quotedName(c.name), c.quoted) << c.name;
    std::setlocale(LC_CTYPE, "C");

    std::string text = "prefix: ";
    cairn::appendQuotedName(text, "a b", 10);
    EXPECT_EQ(text, "prefix: 'a b'");
}

// A list in pieces of any size: lines longer than the reader's first buffer,
// an empty line, CR kept, and a last line without its newline.
TEST(ListReader, HandsOutEveryLineWhole) {
    const std::vector<std::string> lines = {"first", "", std::string(200000, 'x') + "\r", "middle", "last"};
    std::string list;
    for (const std::string& line : lines) list += line + "\n";
    list.pop_back();

    const testing_support::ScratchDir dir;
    testing_support::writeText(dir / "list", list);
    const int descriptor = cairn::files::openForReading((dir / "list").string().c_str(), true);
    ASSERT_GE(descriptor, 0);

    cairn::ListReader reader(descriptor);
    std::vector<std::string> read;
    while (!reader.finished()) {
        std::string_view line;
        if (reader.nextLine(line)) {
            read.emplace_back(line);
        } else {
            reader.fill();
        }
    }
    EXPECT_EQ(read, lines);
    EXPECT_EQ(reader.error(), 0);
    cairn::files::closeFile(descriptor);
}

}  // namespace
