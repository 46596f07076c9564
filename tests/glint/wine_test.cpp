// The Windows programs under Wine, driven from Linux. On a terminal Wine
// gives them a console, and what they write there must show in the
// terminal's encoding; with a Chinese ANSI code page, Chinese names typed at
// the console or piped in must reach exactly the files they name. The
// Windows build is found through GLINT_WINDOWS_BIN (its bin folder).
#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "glint_transcript.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Bytes;
using testing_support::readFile;
using testing_support::RunOptions;
using testing_support::RunResult;
using testing_support::runProgram;
using testing_support::namesIn;
using testing_support::ScratchDir;
using testing_support::Terminal;
using transcript::kHideAndRecover;

// The Windows program (glint.exe, cairn.exe), or empty when the Windows
// build or Wine is not at hand.
std::string windowsProgram(const std::string& name) {
    const char* folder = std::getenv("GLINT_WINDOWS_BIN");
    if (folder == nullptr || std::system("wine --version >/dev/null 2>&1") != 0) return {};
    const fs::path program = fs::absolute(fs::path(folder) / name);
    return fs::exists(program) ? program.string() : std::string();
}
std::string windowsGlint() { return windowsProgram("glint.exe"); }

RunResult runUnderWine(const std::string& program, const std::vector<std::string>& arguments, const fs::path& dir,
                       const std::vector<std::string>& environment) {
    RunOptions options;
    options.prefix = {"wine"};
    options.environment = environment;
    options.arguments = arguments;
    return runProgram(program, "", dir, options);
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
        EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"cover.bmp", payloadName, stegoName, backName}));
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

std::multiset<std::string> linesOf(const std::string& text) {
    std::multiset<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.insert(text.substr(start, end - start));
    }
    return lines;
}

// Names that Windows' ANSI code pages 936, 932 and 1252 hold in part: each
// holds some and not others. 淺 is 9C 5C in GBK and 表 95 5C in Shift JIS,
// trail bytes that are backslashes; best fit made ．．＼ the ..\ of the
// folder above. Wine takes its ANSI code page from the locale.
const std::array<std::string, 5> kNames = {"Łódź", "Größe", "表", "淺", "．．＼escaped"};
struct CodePage {
    const char* locale;
    const char* charset;
};
const CodePage kCodePages[] = {{"zh_CN.UTF-8", "CP936"}, {"ja_JP.UTF-8", "CP932"}, {"de_DE.UTF-8", "CP1252"}};

// `utf8` in `charset` (glibc's tables), or nothing when it cannot hold it all.
std::optional<std::string> inCharset(const std::string& utf8, const char* charset) {
    const iconv_t conversion = ::iconv_open(charset, "UTF-8");
    std::string converted(4 * utf8.size(), '\0');
    char* in = const_cast<char*>(utf8.data());
    char* out = converted.data();
    std::size_t inLeft = utf8.size(), outLeft = converted.size();
    const bool whole = ::iconv(conversion, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    ::iconv_close(conversion);
    if (!whole) return std::nullopt;
    converted.resize(converted.size() - outLeft);
    return converted;
}

// Each name, given as an argument and typed at the console, is the file
// loaded and saved, in a folder that nothing leaves; cairn's sums of them are
// in the ANSI code page where it holds the name and otherwise in UTF-8, and
// check, as md5sum's sums from Linux (UTF-8) do; wildcards are expanded.
TEST(WineNames, EveryNameIsTheFileUsedInEveryCodePage) {
    const std::string glint = windowsGlint(), cairn = windowsProgram("cairn.exe");
    if (glint.empty()) GTEST_SKIP() << "set GLINT_WINDOWS_BIN to the Windows build's bin folder, with wine installed";
    for (const CodePage& page : kCodePages) {
        SCOPED_TRACE(page.locale);
        std::vector<std::string> environment = testing_support::localeEnvironment(page.locale);
        if (environment.empty()) GTEST_SKIP() << "localedef cannot build " << page.locale;
        environment.push_back("WINEDEBUG=-all");
        ScratchDir dir;
        const fs::path folder = dir / "in";
        fs::create_directory(folder);
        const Bytes payload = transcript::writeCoverAndSecret(folder);
        RunOptions hide;
        hide.arguments = {"hide", "cover.bmp", "secret.bin", "stego.bmp"};
        ASSERT_EQ(runProgram(GLINT_BINARY, "", folder, hide).exitStatus, 0);
        std::set<std::string> expected = {"cover.bmp", "secret.bin", "stego.bmp"};
        std::vector<std::string> saved;
        for (const std::string& name : kNames) {
            fs::copy_file(folder / "stego.bmp", folder / (name + ".bmp"));
            EXPECT_EQ(runUnderWine(glint, {"recover", name + ".bmp", name + ".out"}, folder, environment).exitStatus, 0);
            saved.push_back(name + ".out");
            expected.insert({name + ".bmp", name + ".out", name + ".txt"});
        }
        Terminal terminal({"wine", glint}, folder, environment, true);
        if (!terminal.opened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
        for (const std::string& name : kNames) {
            for (const std::string& answer : {std::string("2"), name + ".bmp", name + ".txt"}) {
                ASSERT_TRUE(terminal.waitFor(answer == "2" ? "3." : "：")) << terminal.output();
                terminal.type(answer + "\r");
            }
        }
        ASSERT_TRUE(terminal.waitFor("3.")) << terminal.output();
        terminal.type("3\r");
        ASSERT_TRUE(terminal.waitFor("...")) << terminal.output();
        terminal.type("x");
        EXPECT_EQ(terminal.finish(), 0);
        EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"in"});
        EXPECT_EQ(namesIn(folder), expected);
        for (const std::string& name : kNames) {
            EXPECT_EQ(readFile(folder / (name + ".out")), payload) << name;
            EXPECT_EQ(readFile(folder / (name + ".txt")), payload) << name;
        }

        RunOptions sums;
        sums.arguments = saved;
        const std::string linuxSums = runProgram(CAIRN_BINARY, "", folder, sums).out;
        std::string windowsSums;
        for (const std::string& name : saved) {
            windowsSums += linuxSums.substr(0, 34) + inCharset(name, page.charset).value_or(name) + "\n";
        }
        EXPECT_EQ(runUnderWine(cairn, saved, folder, environment).out, windowsSums);
        testing_support::writeFile(folder / "linux.md5", Bytes(linuxSums.begin(), linuxSums.end()));
        testing_support::writeFile(folder / "windows.md5", Bytes(windowsSums.begin(), windowsSums.end()));
        const RunResult checked = runUnderWine(cairn, {"-c", "linux.md5", "windows.md5"}, folder, environment);
        EXPECT_EQ(checked.exitStatus, 0) << checked.out << checked.err;
        EXPECT_EQ(linesOf(checked.out).size(), 2 * saved.size());
        for (const std::string& verdict : linesOf(checked.out)) EXPECT_TRUE(verdict.ends_with(": OK")) << verdict;
        // Typed at the console, not in its OEM code page; Wine's console drops Ctrl+Z, so Ctrl+C ends.
        Terminal typedList({"wine", cairn, "-c"}, folder, environment, true);
        for (const std::string& name : saved) {
            typedList.type(linuxSums.substr(0, 34) + name + "\r");
            EXPECT_TRUE(typedList.waitFor(name + ": OK")) << typedList.output();
        }
        typedList.type("\x03");
        typedList.finish();

        // Wildcards, expanded by the runtime; a pattern that matches nothing stays.
        const RunResult expanded = runUnderWine(cairn, {"*.out", "none*.out"}, folder, environment);
        EXPECT_EQ(linesOf(expanded.out), linesOf(windowsSums));
        EXPECT_NE(expanded.err.find("'none*.out': No such file or directory"), std::string::npos) << expanded.err;
        const RunResult capacities = runUnderWine(glint, {"capacity", "*.bmp"}, folder, environment);
        EXPECT_EQ(capacities.exitStatus, 0);
        EXPECT_EQ(linesOf(capacities.out).size(), kNames.size() + 2);
    }
}

// A path of more than MAX_PATH (260) characters, given relative to the
// working folder, is loaded, saved and hashed.
TEST(WineNames, PathsBeyondMaxPathAreLoadedAndSaved) {
    const std::string glint = windowsGlint(), cairn = windowsProgram("cairn.exe");
    if (glint.empty()) GTEST_SKIP() << "set GLINT_WINDOWS_BIN to the Windows build's bin folder, with wine installed";
    ScratchDir dir;
    const Bytes payload = transcript::writeCoverAndSecret(dir.path());
    std::string deep;
    for (char letter = 'a'; letter < 'g'; ++letter) deep += std::string(50, letter) + "/";
    fs::create_directories(dir / deep);
    const std::vector<std::string> environment = {"WINEDEBUG=-all"};
    const std::vector<std::string> runs[] = {{"hide", "cover.bmp", "secret.bin", deep + "stego.bmp"},
                                             {"recover", deep + "stego.bmp", deep + "back.bin"}};
    for (const std::vector<std::string>& arguments : runs) {
        EXPECT_EQ(runUnderWine(glint, arguments, dir.path(), environment).exitStatus, 0) << arguments[0];
    }
    EXPECT_EQ(readFile(dir / deep / "back.bin"), payload);
    EXPECT_EQ(namesIn(dir / deep), (std::set<std::string>{"stego.bmp", "back.bin"}));
    RunOptions sums;
    sums.arguments = {deep + "back.bin"};
    EXPECT_EQ(runUnderWine(cairn, sums.arguments, dir.path(), environment).out,
              runProgram(CAIRN_BINARY, "", dir.path(), sums).out);
}

}  // namespace
