// The Windows cairn under Wine, driven from Linux: names that the ANSI code
// page holds in part are summed so that every one can be checked again, as
// md5sum's sums from Linux (UTF-8) are, and long paths are hashed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"
#include "wine.h"

namespace {

using testing_support::RunOptions;
using testing_support::RunResult;
using testing_support::runProgram;
using testing_support::ScratchDir;

// Sums lines hold a name in the ANSI code page where it holds the name, and
// otherwise in UTF-8; both check, also typed at the console (not in its OEM
// code page); wildcards are expanded, and one that matches nothing stays.
TEST(WineNames, SumsOfEveryNameCheckInEveryCodePage) {
    std::string missing;
    const std::string cairn = wine::windowsProgram("cairn.exe", missing);
    if (cairn.empty()) GTEST_SKIP() << missing;
    RunOptions sums;
    for (const std::string& name : wine::kNames) sums.arguments.push_back(name + ".out");
    for (const wine::CodePage& page : wine::kCodePages) {
        SCOPED_TRACE(page.locale);
        const std::vector<std::string> environment = wine::environmentIn(page.locale);
        if (environment.empty()) GTEST_SKIP() << "localedef cannot build " << page.locale << ": install Debian's locales package";
        ScratchDir dir;
        for (const std::string& name : sums.arguments) {
            testing_support::writeFile(dir / name, testing_support::patternBytes(200, 8));
        }
        const std::string linuxSums = runProgram(CAIRN_BINARY, "", dir.path(), sums).out;
        std::string windowsSums;
        for (const std::string& name : sums.arguments) {
            windowsSums += linuxSums.substr(0, 34) + wine::inCharset(name, page.charset).value_or(name) + "\n";
        }
        EXPECT_EQ(wine::run(cairn, sums.arguments, dir.path(), environment).out, windowsSums);
        testing_support::writeText(dir / "linux.md5", linuxSums);
        testing_support::writeText(dir / "windows.md5", windowsSums);
        const RunResult checked = wine::run(cairn, {"-c", "linux.md5", "windows.md5"}, dir.path(), environment);
        EXPECT_EQ(checked.exitStatus, 0) << checked.out << checked.err;
        EXPECT_EQ(wine::linesOf(checked.out).size(), 2 * sums.arguments.size());
        for (const std::string& verdict : wine::linesOf(checked.out)) EXPECT_TRUE(verdict.ends_with(": OK")) << verdict;
        // Wine's console drops Ctrl+Z, so Ctrl+C ends the typed list.
        testing_support::Terminal typedList({"wine", cairn, "-c"}, dir.path(), environment, true);
        for (const std::string& name : sums.arguments) {
            typedList.type(linuxSums.substr(0, 34) + name + "\r");
            EXPECT_TRUE(typedList.waitFor(name + ": OK")) << typedList.output();
        }
        typedList.type("\x03");
        typedList.finish();

        const RunResult expanded = wine::run(cairn, {"*.out", "none*.out"}, dir.path(), environment);
        EXPECT_EQ(wine::linesOf(expanded.out), wine::linesOf(windowsSums));
        EXPECT_NE(expanded.err.find("'none*.out': No such file or directory"), std::string::npos) << expanded.err;
    }
}

// A path of more than MAX_PATH (260) characters, given relative to the
// working folder, is hashed.
TEST(WineNames, SumsOfPathsBeyondMaxPath) {
    std::string missing;
    const std::string cairn = wine::windowsProgram("cairn.exe", missing);
    if (cairn.empty()) GTEST_SKIP() << missing;
    ScratchDir dir;
    std::string deep;
    for (char letter = 'a'; letter < 'g'; ++letter) deep += std::string(50, letter) + "/";
    std::filesystem::create_directories(dir / deep);
    testing_support::writeFile(dir / deep / "back.bin", testing_support::patternBytes(200, 8));
    RunOptions sums;
    sums.arguments = {deep + "back.bin"};
    const RunResult windows = wine::run(cairn, sums.arguments, dir.path(), {"WINEDEBUG=-all"});
    EXPECT_EQ(windows.exitStatus, 0) << windows.err;
    EXPECT_EQ(windows.out, runProgram(CAIRN_BINARY, "", dir.path(), sums).out);
}

}  // namespace
