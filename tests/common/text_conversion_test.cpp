#include "common/posix/text_conversion.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

std::size_t gbkLength(const char* at, std::size_t left) {
    return static_cast<unsigned char>(*at) >= 0x81 && left >= 2 ? 2 : 1;
}

// 简a文 in GBK, converted whole, or character by character with '?' for
// what the target cannot hold.
TEST(TextConversion, ConvertsOrShowsWhatDoesNotFit) {
    const std::string gbk = "\xbc\xf2" "a\xce\xc4";
    struct Case {
        const char* to;
        bool substitute;
        bool whole;
        std::string converted;
    };
    const Case cases[] = {
        {"UTF-8", false, true, "\xe7\xae\x80" "a\xe6\x96\x87"},
        {"BIG5", true, true, "?a\xa4\xe5"},  // 简 is no Big5 character; 文 is
        {"ASCII", true, true, "?a?"},
        {"ASCII", false, false, ""},
        {"NO-SUCH-SET", true, false, ""},
    };
    for (const Case& c : cases) {
        std::string converted;
        const bool whole = common::convertText(
            c.to, "GBK", gbk, [&](const char* bytes, std::size_t size) { converted.append(bytes, size); },
            c.substitute ? gbkLength : nullptr);
        EXPECT_EQ(whole, c.whole) << c.to;
        if (c.whole) {
            EXPECT_EQ(converted, c.converted) << c.to;
        }
    }
}

// A terminal in the C and POSIX locales, whose character set glibc names
// after ASCII, is taken as UTF-8; in any other it has the locale's set.
TEST(TextConversion, TerminalInTheCLocaleIsTakenAsUtf8) {
    for (const char* locale : {"C", "POSIX", "C.UTF-8"}) {
        ASSERT_NE(std::setlocale(LC_CTYPE, locale), nullptr) << locale;
        EXPECT_TRUE(common::isUtf8(common::terminalCodeset())) << locale;
    }
    EXPECT_EQ(common::terminalCodeset(), common::localeCodeset());
    std::setlocale(LC_CTYPE, "C");
    EXPECT_FALSE(common::isUtf8(common::localeCodeset()));
}

}  // namespace
