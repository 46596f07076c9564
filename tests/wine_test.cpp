// The Windows programs under Wine, driven from Linux. On a terminal Wine
// gives them a console, and what they write there must show in the
// terminal's encoding; with a Chinese ANSI code page, Chinese names typed at
// the console or piped in must reach exactly the files they name. The
// Windows build is found through GLINT_WINDOWS_BIN (its bin folder).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "glint_transcript.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Bytes;
using testing_support::readFile;
using testing_support::RunOptions;
using testing_support::runProgram;
using testing_support::ScratchDir;
using testing_support::Terminal;
using transcript::kHideAndRecover;

// glint.exe, or empty when the Windows build or Wine is not at hand.
std::string windowsGlint() {
    const char* folder = std::getenv("GLINT_WINDOWS_BIN");
    if (folder == nullptr || std::system("wine --version >/dev/null 2>&1") != 0) return {};
    const fs::path program = fs::absolute(fs::path(folder) / "glint.exe");
    return fs::exists(program) ? program.string() : std::string();
}

TEST(WineConsole, ShowsTheTextsInTheTerminalsEncoding) {
    const std::string glint = windowsGlint();
    if (glint.empty()) GTEST_SKIP() << "set GLINT_WINDOWS_BIN to the Windows build's bin folder, with wine installed";
    ScratchDir dir;
    const Bytes payload = transcript::writeCoverAndSecret(dir.path());
    Terminal terminal({"wine", glint}, dir.path(), {"LC_ALL=C.UTF-8", "WINEDEBUG=-all"}, true);
    if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
    // Every text of the dialogue but the final wait, which is the interpreter's own.
    for (const transcript::Step& step : kHideAndRecover) {
        if (step.gbk == glint::msg::kPressAnyKey) break;
        ASSERT_TRUE(terminal.waitFor(step.utf8)) << step.utf8 << " in\n" << terminal.output();
        if (step.typed) terminal.type(step.typed);
    }
    ASSERT_TRUE(terminal.waitFor("...")) << terminal.output();
    terminal.type("x");
    EXPECT_EQ(terminal.finish(), 0);
    EXPECT_EQ(readFile(dir / "back.bin"), payload);
}

// A zh_CN locale built into a scratch folder gives Wine the ANSI code page
// 936. 淺 is 9C 5C in GBK: its trail byte is a backslash.
TEST(WineNames, ChineseNamesReachTheFilesTheyName) {
    const std::string glint = windowsGlint();
    if (glint.empty()) GTEST_SKIP() << "set GLINT_WINDOWS_BIN to the Windows build's bin folder, with wine installed";
    std::vector<std::string> environment = testing_support::localeEnvironment("zh_CN.UTF-8");
    if (environment.empty()) GTEST_SKIP() << "localedef cannot build zh_CN.UTF-8 (Debian's locales package)";
    environment.push_back("WINEDEBUG=-all");
    // 秘密.txt, 测试淺.bmp and 恢复淺.txt, as typed on a UTF-8 terminal and as GBK bytes
    const std::string payloadName = "秘密.txt", stegoName = "测试淺.bmp", backName = "恢复淺.txt";
    const std::string gbkPayload = "\xc3\xd8\xc3\xdc.txt", gbkStego = "\xb2\xe2\xca\xd4\x9c\x5c.bmp",
                      gbkBack = "\xbb\xd6\xb8\xb4\x9c\x5c.txt";

    for (const bool typed : {true, false}) {
        SCOPED_TRACE(typed ? "typed at the console" : "piped");
        ScratchDir dir;
        const Bytes payload = transcript::writeCoverAndSecret(dir.path());
        fs::rename(dir / "secret.bin", dir / payloadName);
        if (typed) {
            Terminal terminal({"wine", glint}, dir.path(), environment, true);
            if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
            const std::string answers[] = {"1", "cover.bmp", payloadName, stegoName, "2", stegoName, backName, "3"};
            for (const std::string& answer : answers) {
                ASSERT_TRUE(terminal.waitFor(answer == "1" || answer == "2" || answer == "3" ? "3." : "："))
                    << terminal.output();
                terminal.type(answer + "\r");
            }
            ASSERT_TRUE(terminal.waitFor("...")) << terminal.output();  // the interpreter's pause
            terminal.type("x");
            EXPECT_EQ(terminal.finish(), 0);
        } else {
            RunOptions options;
            options.prefix = {"wine"};
            options.environment = environment;
            const std::string input = "1\ncover.bmp\n" + gbkPayload + "\n" + gbkStego + "\n2\n" + gbkStego + "\n" + gbkBack + "\n3\n";
            EXPECT_EQ(runProgram(glint, input, dir.path(), options).exitStatus, 0);
        }
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) names.insert(entry.path().filename().string());
        EXPECT_EQ(names, (std::set<std::string>{"cover.bmp", payloadName, stegoName, backName}));
        EXPECT_EQ(readFile(dir / backName), payload);
    }
}

// The Windows program decrypts what the Linux one encrypted, from a file and
// typed at its console, and the Linux one what the Windows one encrypted with
// the passphrase typed at its console (UTF-16), from the same passphrase in a
// UTF-8 file.
TEST(WineEncryption, EachProgramDecryptsWhatTheOtherEncrypted) {
    const std::string glint = windowsGlint();
    if (glint.empty()) GTEST_SKIP() << "set GLINT_WINDOWS_BIN to the Windows build's bin folder, with wine installed";
    ScratchDir dir;
    const Bytes payload = transcript::writeCoverAndSecret(dir.path());
    const std::string passphrase = "口令 passphrase";
    testing_support::writeFile(dir / "pass.txt", Bytes(passphrase.begin(), passphrase.end()));
    const auto run = [&](const std::string& program, const std::vector<std::string>& arguments) {
        RunOptions options;
        options.prefix = program == glint ? std::vector<std::string>{"wine"} : std::vector<std::string>{};
        options.environment = {"WINEDEBUG=-all"};
        options.arguments = arguments;
        return runProgram(program, "", dir.path(), options).exitStatus;
    };
    ASSERT_EQ(run(GLINT_BINARY, {"hide", "--passphrase-file", "pass.txt", "cover.bmp", "secret.bin", "linux.bmp"}), 0);
    ASSERT_EQ(run(glint, {"recover", "--passphrase-file", "pass.txt", "linux.bmp", "from-linux.bin"}), 0);
    EXPECT_EQ(readFile(dir / "from-linux.bin"), payload);

    // Typed at the console: after -p, and as a passphrase file that is the console.
    const std::pair<std::vector<std::string>, std::size_t> typedRuns[] = {
        {{"hide", "-p", "cover.bmp", "secret.bin", "windows.bmp"}, 2},
        {{"recover", "--passphrase-file", "-", "linux.bmp", "typed.bin"}, 1}};
    for (const auto& [arguments, answers] : typedRuns) {
        std::vector<std::string> command = {"wine", glint};
        command.insert(command.end(), arguments.begin(), arguments.end());
        Terminal terminal(command, dir.path(), {"LC_ALL=C.UTF-8", "WINEDEBUG=-all"}, true);
        if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
        const char* prompts[] = {"Passphrase: ", "Passphrase again: "};
        for (std::size_t i = 0; i < answers; ++i) {
            ASSERT_TRUE(terminal.waitFor(prompts[i])) << terminal.output();
            terminal.type(passphrase + "\r");
        }
        EXPECT_EQ(terminal.finish(), 0);
        EXPECT_EQ(terminal.output().find(passphrase), std::string::npos) << terminal.output();
    }
    EXPECT_EQ(readFile(dir / "typed.bin"), payload);
    ASSERT_EQ(run(GLINT_BINARY, {"recover", "--passphrase-file", "pass.txt", "windows.bmp", "from-windows.bin"}), 0);
    EXPECT_EQ(readFile(dir / "from-windows.bin"), payload);
}

}  // namespace
