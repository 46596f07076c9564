// Runs the real cairn binary and compares its output byte for byte.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

TEST(CairnProgram, PrintsTheCaptionedDigestOfAbcThenWaits) {
    testing_support::ScratchDir dir;
    const auto r = testing_support::runProgram(CAIRN_BINARY, "", dir.path());
    // "'abc'的MD5: " in GBK, the RFC 1321 digest of abc, then the
    // press-any-key line 请按任意键继续. . .
    EXPECT_EQ(r.out,
              "'abc'\xB5\xC4MD5: 900150983cd24fb0d6963f7d28e17f72\n"
              "\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitStatus, 0);
}

}  // namespace
