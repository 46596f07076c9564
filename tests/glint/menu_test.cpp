#include "dialogue/menu.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "glint_transcript.h"
#include "test_support.h"

namespace {

namespace msg = glint::msg;
using testing_support::BmpFields;
using testing_support::makeBmp;
using testing_support::patternBytes;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

struct Transcript {
    std::string out, err;
    int status;
};

Transcript run(const std::string& input) {
    std::istringstream in(input);
    std::ostringstream out, err;
    common::Console outConsole(out), errConsole(err);
    const int status = glint::runMenu(in, outConsole, errConsole, testing_support::recordPause);
    return {out.str(), err.str(), status};
}

using transcript::kMenu;
using transcript::line;
const std::string kHeader = transcript::kTitleLine;
const std::string kFinal = "<PAUSE>";

TEST(Menu, ChoicesOutsideTheMenuAreRejectedAndAskedAgain) {
    const std::string wrong = kMenu + line(msg::kWrongChoice);
    struct Case {
        const char* input;
        std::string out;
    };
    const Case cases[] = {
        {"3\n", kHeader + kMenu + kFinal},
        {"7\n3\n", kHeader + wrong + kMenu + kFinal},
        {"0\n-1\n3\n", kHeader + wrong + wrong + kMenu + kFinal},
        {"abc def\n3\n", kHeader + wrong + kMenu + kFinal},             // rest of line dropped
        {"99999999999 9\n3\n", kHeader + wrong + kMenu + kFinal},       // too large for 32 bits
        // Only a whole word of sign and digits is a number; the rest of a
        // line after a word that is not one is dropped.
        {"3x\n3\n", kHeader + wrong + kMenu + kFinal},
        {"1.5 in.bmp\n2abc\n1.bmp\n3\n", kHeader + wrong + wrong + wrong + kMenu + kFinal},
        {"-0\n+3\n", kHeader + wrong + kMenu + kFinal},
        {"03\n", kHeader + kMenu + kFinal},
    };
    for (const Case& c : cases) {
        const Transcript t = run(c.input);
        EXPECT_EQ(t.out, c.out) << c.input;
        EXPECT_EQ(t.err, "");
        EXPECT_EQ(t.status, 0);
    }
}

// Input may end at the menu or at any prompt: the action in hand stops, the
// final wait runs, and nothing is done with a name that was never typed.
TEST(Menu, EndOfInputAnywhereEndsCleanly) {
    ScratchDir dir;
    BmpFields fields;
    fields.data = patternBytes(400, 1);
    writeFile(dir / "in.bmp", makeBmp(fields));
    writeFile(dir / "p.txt", {'h', 'i'});
    const std::string image = (dir / "in.bmp").string();
    const std::string payload = (dir / "p.txt").string();
    const std::string loaded = line(msg::kLoadSucceeded);

    struct Case {
        std::string input;
        std::string out;
    };
    const Case cases[] = {
        {"", kHeader + kMenu + kFinal},
        {"   \n\n", kHeader + kMenu + kFinal},
        {"1", kHeader + kMenu + msg::kAskSourceImage + kFinal},
        {"1 " + image, kHeader + kMenu + msg::kAskSourceImage + loaded + msg::kAskPayload + kFinal},
        {"1 " + image + " " + payload,
         kHeader + kMenu + msg::kAskSourceImage + loaded + msg::kAskPayload +
             line(msg::kHideSucceeded) + msg::kAskOutputImage + kFinal},
        {"2", kHeader + kMenu + msg::kAskStegoImage + kFinal},
        {"2 " + image, kHeader + kMenu + msg::kAskStegoImage + loaded + msg::kAskRecoveredFile + kFinal},
    };
    for (const Case& c : cases) {
        const Transcript t = run(c.input);
        EXPECT_EQ(t.out, c.out) << c.input;
        EXPECT_EQ(t.status, 0);
    }
}

TEST(Menu, RefusedPayloadReportsWaitsAndShowsTheMenuAgain) {
    ScratchDir dir;
    BmpFields fields;
    fields.data = patternBytes(64, 2);
    writeFile(dir / "in.bmp", makeBmp(fields));
    writeFile(dir / "big.txt", patternBytes(5, 3));
    const Transcript t = run("1 " + (dir / "in.bmp").string() + " " + (dir / "big.txt").string() +
                             " " + (dir / "out.bmp").string() + "\n");
    // The third name is not taken as an output name: it answers the menu.
    EXPECT_EQ(t.out, kHeader + kMenu + msg::kAskSourceImage + line(msg::kLoadSucceeded) +
                         msg::kAskPayload + line(msg::kPayloadTooLong) + "<pause>" + kMenu +
                         line(msg::kWrongChoice) + kMenu + kFinal);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.bmp"));
}

TEST(Menu, HidesAndRecoversThroughTheDialogue) {
    ScratchDir dir;
    BmpFields fields;
    fields.data = patternBytes(4000, 4);
    writeFile(dir / "in.bmp", makeBmp(fields));
    const auto payload = patternBytes(300, 5);
    writeFile(dir / "p.bin", payload);
    const auto at = [&](const char* name) { return (dir / name).string(); };
    const Transcript t = run("1\n" + at("in.bmp") + "\n" + at("p.bin") + "\n" + at("out.bmp") +
                             "\n2\n" + at("out.bmp") + "\n" + at("back.bin") + "\n3\n");
    EXPECT_EQ(t.out, kHeader + kMenu + msg::kAskSourceImage + line(msg::kLoadSucceeded) +
                         msg::kAskPayload + line(msg::kHideSucceeded) + msg::kAskOutputImage +
                         line(msg::kSaveSucceeded) + kMenu + msg::kAskStegoImage +
                         line(msg::kLoadSucceeded) + msg::kAskRecoveredFile +
                         line(msg::kDecodeSucceeded) + kMenu + kFinal);
    EXPECT_EQ(readFile(dir / "back.bin"), payload);
}

TEST(Menu, FailedLoadGoesOnToTheNextPromptAndRefusesTheHide) {
    ScratchDir dir;
    writeFile(dir / "p.txt", {});
    const Transcript t = run("1 " + (dir / "nothing.bmp").string() + " " +
                             (dir / "p.txt").string() + " 3");
    EXPECT_EQ(t.err, msg::kLoadFailed);
    EXPECT_EQ(t.out, kHeader + kMenu + msg::kAskSourceImage + msg::kAskPayload +
                         line(msg::kPayloadTooLong) + "<pause>" + kMenu + kFinal);
}

}  // namespace
