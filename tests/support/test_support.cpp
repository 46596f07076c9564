#include "test_support.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>

#include "common/windows/wide_names.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <wordexp.h>

#include <chrono>
#include <csignal>
#endif

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {
namespace fs = std::filesystem;
namespace {

void putLe(Bytes& out, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

int processId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return static_cast<int>(::getpid());
#endif
}

// Where a run as another user finds its copies of the program and of the
// wrapper's files; removed after the run.
constexpr char kCopiesForUser[] = ".as-user";

#ifndef _WIN32
// TEST_PROGRAM_WRAPPER runs in front of the program: the memory checker's
// run of the end-to-end tests uses it. Its words are split and unquoted as
// the shell does, without running commands.
std::vector<std::string> wrapperWords() {
    const char* wrapper = std::getenv("TEST_PROGRAM_WRAPPER");
    if (wrapper == nullptr || *wrapper == '\0') return {};
    wordexp_t split{};
    const int failure = ::wordexp(wrapper, &split, WRDE_NOCMD);
    if (failure == WRDE_NOSPACE) ::wordfree(&split);
    // Running the programs without the wrapper would pass unchecked.
    if (failure != 0) throw std::runtime_error(std::string("TEST_PROGRAM_WRAPPER cannot be split into words: ") + wrapper);
    std::vector<std::string> words(split.we_wordv, split.we_wordv + split.we_wordc);
    ::wordfree(&split);
    return words;
}
#endif

}  // namespace

Bytes makeBmp(const BmpFields& f) {
    const std::uint64_t realSize = 54 + f.data.size();
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    putLe(out, f.bfSize < 0 ? realSize : static_cast<std::uint64_t>(f.bfSize), 4);
    putLe(out, 0, 4);  // bfReserved1, bfReserved2
    putLe(out, f.offBits, 4);
    putLe(out, 40, 4);  // biSize
    putLe(out, static_cast<std::uint32_t>(f.width), 4);
    putLe(out, static_cast<std::uint32_t>(f.height), 4);
    putLe(out, 1, 2);  // biPlanes
    putLe(out, f.bitCount, 2);
    putLe(out, 0, 4);  // biCompression
    putLe(out, f.sizeImage, 4);
    putLe(out, 2835, 4);  // 72 dpi, both ways
    putLe(out, 2835, 4);
    putLe(out, f.clrUsed, 4);
    putLe(out, 0, 4);  // biClrImportant
    out.insert(out.end(), f.data.begin(), f.data.end());
    return out;
}

Bytes withLengthBits(Bytes data, std::uint32_t length) {
    for (std::size_t i = 0; i < 32 && i < data.size(); ++i) {
        data[i] = static_cast<unsigned char>((data[i] & 0xFE) | ((length >> i) & 1));
    }
    return data;
}

bool unreadHere([[maybe_unused]] const std::string& fixture) {
#ifdef _WIN32
    return fixture == "suite-rgb32-odd-masks.bmp";
#else
    return false;
#endif
}

bool pngEncoderStopsAtAMillionRows() {
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

Bytes patternBytes(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761U + 0x9E3779B9U;
    for (auto& byte : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<unsigned char>(x >> 24);
    }
    return out;
}

std::string asString(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes readFile(const fs::path& path) {
    const std::string text = readText(path);
    return {text.begin(), text.end()};
}

void writeText(const fs::path& path, const std::string& text) { writeFile(path, Bytes(text.begin(), text.end())); }

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

void recordPause(const char* command, common::AfterTheKey /*after*/, common::Console& out) {
    out.raw(std::string("<") + command + ">");
}

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> counter{0};
    path_ = fs::temp_directory_path() /
            ("glint-test-" + std::to_string(processId()) + "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

namespace {

struct StreamFiles {
    fs::path in, out, err;
};

#ifdef _WIN32

HANDLE inheritable(const fs::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Returns the exit status, or -1 when the program could not be run.
int runAndWait(const std::string& program, const StreamFiles& files, const fs::path& workingDir,
               const RunOptions& options) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(files.in, GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = inheritable(files.out, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = inheritable(files.err, GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring commandLine = L"\"" + common::wideFromUtf8(program) + L"\"";
    for (const std::string& argument : options.arguments) commandLine += L" \"" + common::wideFromUtf8(argument) + L"\"";
    PROCESS_INFORMATION process{};
    int status = -1;
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         workingDir.c_str(), &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD exitCode = 0;
        if (::GetExitCodeProcess(process.hProcess, &exitCode)) status = static_cast<int>(exitCode);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(startup.hStdInput);
    ::CloseHandle(startup.hStdOutput);
    ::CloseHandle(startup.hStdError);
    return status;
}

#else

void addEnvironment(const std::vector<std::string>& environment) {
    for (const std::string& setting : environment) {
        const std::size_t equals = setting.find('=');
        ::setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
    }
}

std::vector<char*> argumentVector(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return argv;
}

// A copy of `file` in `folder`, which every user may read and run.
std::string copyForEveryone(const fs::path& file, const fs::path& folder) {
    constexpr fs::perms kOpenToAll = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec;
    fs::create_directory(folder);
    fs::permissions(folder, kOpenToAll);
    const fs::path copy = folder / file.filename();
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, kOpenToAll);
    return copy.string();
}

// The wrapper for a run as another user, who may not reach the files it
// names (a suppressions file in the clone, under a private home folder):
// every word after its command that names an existing file, alone or after
// "=", names a copy in `folder` instead. The command itself is taken to be
// installed for every user.
std::vector<std::string> wrapperForUser(std::vector<std::string> wrapper, const fs::path& folder) {
    for (std::size_t i = 1; i < wrapper.size(); ++i) {
        const std::size_t equals = wrapper[i].find('=');
        const std::size_t nameStart = equals == std::string::npos ? 0 : equals + 1;
        const fs::path named = wrapper[i].substr(nameStart);
        if (named.is_absolute() && fs::is_regular_file(named)) {
            wrapper[i] = wrapper[i].substr(0, nameStart) + copyForEveryone(named, folder);
        }
    }
    return wrapper;
}

std::vector<std::string> commandWords(const std::string& program, const fs::path& workingDir,
                                      const RunOptions& options) {
    std::vector<std::string> words;
    std::vector<std::string> wrapper = wrapperWords();
    std::string runs = program;
    if (options.asUser) {
        const std::string id = std::to_string(*options.asUser);
        words = {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
        wrapper = wrapperForUser(wrapper, workingDir / kCopiesForUser);
        runs = copyForEveryone(program, workingDir / kCopiesForUser);
    }
    words.insert(words.end(), options.prefix.begin(), options.prefix.end());
    words.insert(words.end(), wrapper.begin(), wrapper.end());
    words.push_back(runs);
    words.insert(words.end(), options.arguments.begin(), options.arguments.end());
    return words;
}

// Returns the exit status, or -1 when the program did not exit normally.
int runAndWait(const std::string& program, const StreamFiles& files, const fs::path& workingDir,
               const RunOptions& options) {
    std::vector<std::string> words = commandWords(program, workingDir, options);
    std::vector<char*> argv = argumentVector(words);

    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open(files.in.c_str(), O_RDONLY);
        const int out = ::open(files.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(files.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || ::chdir(workingDir.c_str()) != 0) ::_exit(127);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        int ends[2];
        if (options.stdoutReaderGone && ::pipe(ends) == 0) {
            ::close(ends[0]);
            ::dup2(ends[1], STDOUT_FILENO);
        }
        if (!options.stdoutTarget.empty()) ::dup2(::open(options.stdoutTarget.c_str(), O_WRONLY), STDOUT_FILENO);
        if (options.stdinClosed) ::close(STDIN_FILENO);
        addEnvironment(options.environment);
        if (options.addressSpaceLimit != 0) {
            const rlimit limit{options.addressSpaceLimit, options.addressSpaceLimit};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return -1;
}

#endif

}  // namespace

RunResult runProgram(const std::string& program, const std::string& input,
                     const fs::path& workingDir, const RunOptions& options) {
    const StreamFiles files{workingDir / ".stdin", workingDir / ".stdout", workingDir / ".stderr"};
    writeFile(files.in, Bytes(input.begin(), input.end()));
    RunResult result;
    result.exitStatus = runAndWait(program, files, workingDir, options);
    result.out = readText(files.out);
    result.err = readText(files.err);
    for (const fs::path& path : {files.in, files.out, files.err}) fs::remove(path);
    fs::remove_all(workingDir / kCopiesForUser);
    return result;
}

RunResult runInUtf8Locale(const std::string& program, const std::string& input, const fs::path& workingDir,
                          RunOptions options) {
    options.environment.push_back("LC_ALL=C.UTF-8");
    return runProgram(program, input, workingDir, options);
}

bool underMemoryChecker() {
    const char* wrapper = std::getenv("TEST_PROGRAM_WRAPPER");
    return wrapper != nullptr && *wrapper != '\0';
}

// g++ says so with a macro, clang with __has_feature.
bool underAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
    return __has_feature(address_sanitizer);
#else
    return false;
#endif
}

bool underThreadSanitizer() {
#if defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
    return __has_feature(thread_sanitizer);
#else
    return false;
#endif
}

#ifndef _WIN32

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

fs::path windowsBuildFolder(std::string& missing) {
    const char* folder = std::getenv("GLINT_WINDOWS_BIN");
    if (folder == nullptr || *folder == '\0') {
        missing = "needs the Windows build: build the windows preset and set GLINT_WINDOWS_BIN to its bin folder "
                  "(see the README's Windows section)";
    } else if (!fs::exists(fs::path(folder) / "glint.exe")) {
        missing = "GLINT_WINDOWS_BIN names " + std::string(folder) + ", which holds no glint.exe: build the windows preset";
    } else if (std::system("wine --version >/dev/null 2>&1") != 0) {
        missing = "needs wine to run the Windows build (Debian's wine and wine64)";
    } else {
        return fs::absolute(folder);
    }
    return {};
}

std::vector<std::string> localeEnvironment(const std::string& locale) {
    if (locale == "C" || locale == "C.UTF-8") return {"LC_ALL=" + locale};
    static const ScratchDir folder;
    const std::size_t dot = locale.find('.');
    const fs::path built = folder / locale;
    const std::string build = "localedef -i " + locale.substr(0, dot) + " -f " + locale.substr(dot + 1) + " " +
                              shellQuoted(built.string()) + " >/dev/null 2>&1";
    if (!fs::exists(built) && std::system(build.c_str()) != 0) return {};
    return {"LOCPATH=" + folder.path().string(), "LC_ALL=" + locale};
}

namespace {
// Long enough for a slow machine, and for Wine starting up.
constexpr auto kPatience = std::chrono::seconds(60);
}  // namespace

Terminal::Terminal(const std::vector<std::string>& command, const fs::path& workingDir,
                   const std::vector<std::string>& environment, bool cursorControl)
    : cursorControl_(cursorControl) {
    std::vector<std::string> words = command;
    std::vector<char*> argv = argumentVector(words);
    const pid_t child = ::forkpty(&master_, nullptr, nullptr, nullptr);
    if (child == 0) {
        if (::chdir(workingDir.c_str()) != 0) ::_exit(127);
        addEnvironment(environment);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    child_ = child;
}

Terminal::~Terminal() {
    if (child_ > 0 && ::waitpid(child_, nullptr, WNOHANG) == 0) {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
}

bool Terminal::readMore(int timeoutMs) {
    pollfd ready{master_, POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) != 1) return false;
    char bytes[4096];
    const ssize_t got = ::read(master_, bytes, sizeof bytes);
    if (got <= 0) return false;  // the program has ended and closed the terminal
    output_.append(bytes, static_cast<std::size_t>(got));
    return true;
}

bool Terminal::inLineMode() const {
    termios settings{};
    return ::tcgetattr(master_, &settings) == 0 && (settings.c_lflag & ICANON) != 0 &&
           (settings.c_lflag & ECHO) != 0;
}

std::string Terminal::output() const {
    if (!cursorControl_) return output_;
    std::string shown;
    for (std::size_t i = 0; i < output_.size(); ++i) {
        if (output_[i] != '\x1b' || i + 1 >= output_.size() || output_[i + 1] != '[') {
            shown += output_[i];
            continue;
        }
        std::size_t end = i + 2;
        while (end < output_.size() && !std::isalpha(static_cast<unsigned char>(output_[end]))) ++end;
        if (end == output_.size()) break;  // the rest of the sequence is still to come
        if (output_[end] == 'C') shown.append(static_cast<std::size_t>(std::max(1, std::atoi(output_.c_str() + i + 2))), ' ');
        i = end;
    }
    return shown;
}

bool Terminal::waitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
        const std::size_t at = output().find(text, matched_);
        if (at != std::string::npos) {
            matched_ = at + text.size();
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readMore(static_cast<int>(left.count()))) return false;
    }
}

bool Terminal::waitForKeyMode(bool on) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (inLineMode() == on && std::chrono::steady_clock::now() < deadline) readMore(10);
    return inLineMode() != on;
}

void Terminal::type(const std::string& keys) {
    // A console reads keys in raw mode; typed earlier, line editing would
    // turn the Enter key's carriage return into a line feed.
    if (cursorControl_) waitForKeyMode();
    [[maybe_unused]] const ssize_t written = ::write(master_, keys.data(), keys.size());
}

int Terminal::finish() {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    int status = 0;
    pid_t ended = 0;
    while (ended == 0 && std::chrono::steady_clock::now() < deadline) {
        readMore(100);
        ended = ::waitpid(child_, &status, WNOHANG);
    }
    if (ended != child_) return -1;  // the destructor ends it
    while (readMore(100)) {
    }
    child_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

}  // namespace testing_support
