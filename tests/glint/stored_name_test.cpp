// Names read back from a hidden payload name a file inside the folder they
// are written to, and nothing else, on each platform.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "files/stored_name.h"

namespace {

constexpr bool kWindows = std::filesystem::path::preferred_separator == '\\';

TEST(StoredName, NamesAFileInTheFolderOnly) {
    struct Case {
        std::string name;
        bool posix, windows;
    };
    const Case cases[] = {
        {"notes.txt", true, true},
        {"-", true, true},
        {".hidden", true, true},
        {"\xe7\xac\x94\xe8\xae\xb0.txt", true, true},
        {"", false, false},
        {".", false, false},
        {"..", false, false},
        {"a/b", false, false},
        {"../up", false, false},
        {"/etc/passwd", false, false},
        {std::string("a\0b", 3), false, false},
        {"a\\b", true, false},
        {"c:x", true, false},
        {"file.txt:stream", true, false},
        {"trailing.", true, false},
        {"trailing ", true, false},
        {"CON", true, false},
        {"nul.txt", true, false},
        {"com7.log", true, false},
        {"com0", true, true},
        {"console", true, true},
        {"a?b", true, false},
        {"tab\there", true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(glint::namesFileInFolder(c.name), kWindows ? c.windows : c.posix) << c.name;
    }
}

}  // namespace
