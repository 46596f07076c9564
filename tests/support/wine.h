// The Windows programs under Wine, driven from Linux: where the Windows
// build is (GLINT_WINDOWS_BIN, its bin folder), how to run it, and names
// that Windows' ANSI code pages hold only in part.
#pragma once

#include <iconv.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace wine {

// The Windows program (glint.exe, cairn.exe), or empty when the Windows
// build or Wine is not at hand, with what is missing in `missing`.
inline std::string windowsProgram(const std::string& name, std::string& missing) {
    const std::filesystem::path folder = testing_support::windowsBuildFolder(missing);
    return folder.empty() ? std::string() : (folder / name).string();
}

inline testing_support::RunResult run(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::filesystem::path& dir, const std::vector<std::string>& environment) {
    testing_support::RunOptions options;
    options.prefix = {"wine"};
    options.environment = environment;
    options.arguments = arguments;
    return testing_support::runProgram(program, "", dir, options);
}

// Names that Windows' ANSI code pages 936, 932 and 1252 hold in part: each
// holds some and not others. 淺 is 9C 5C in GBK and 表 95 5C in Shift JIS,
// trail bytes that are backslashes; best fit made ．．＼ the ..\ of the
// folder above.
inline const std::array<std::string, 5> kNames = {"Łódź", "Größe", "表", "淺", "．．＼escaped"};
struct CodePage {
    const char* locale;
    const char* charset;
};
inline const CodePage kCodePages[] = {{"zh_CN.UTF-8", "CP936"}, {"ja_JP.UTF-8", "CP932"}, {"de_DE.UTF-8", "CP1252"}};

// The environment of a Windows program in `locale`, whose ANSI code page
// Wine takes from it; empty when the locale cannot be built.
inline std::vector<std::string> environmentIn(const char* locale) {
    std::vector<std::string> environment = testing_support::localeEnvironment(locale);
    if (!environment.empty()) environment.push_back("WINEDEBUG=-all");
    return environment;
}

// `utf8` in `charset` (glibc's tables), or nothing when it cannot hold it all.
inline std::optional<std::string> inCharset(const std::string& utf8, const char* charset) {
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

inline std::multiset<std::string> linesOf(const std::string& text) {
    std::multiset<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.insert(text.substr(start, end - start));
    }
    return lines;
}

}  // namespace wine
