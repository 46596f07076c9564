#include "test_support.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

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

#ifndef _WIN32
// TEST_PROGRAM_WRAPPER, split at spaces, runs in front of the program: the
// memory checker's run of the end-to-end tests uses it.
std::vector<std::string> wrapperWords() {
    std::vector<std::string> words;
    const char* wrapper = std::getenv("TEST_PROGRAM_WRAPPER");
    std::istringstream split(wrapper ? wrapper : "");
    for (std::string word; split >> word;) words.push_back(word);
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
int runAndWait(const std::string& program, const StreamFiles& files, const fs::path& workingDir) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(files.in, GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = inheritable(files.out, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = inheritable(files.err, GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring commandLine = L"\"" + fs::path(program).wstring() + L"\"";
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

// Returns the exit status, or -1 when the program did not exit normally.
int runAndWait(const std::string& program, const StreamFiles& files, const fs::path& workingDir) {
    std::vector<std::string> words = wrapperWords();
    words.push_back(program);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open(files.in.c_str(), O_RDONLY);
        const int out = ::open(files.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(files.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || ::chdir(workingDir.c_str()) != 0) ::_exit(127);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
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
                     const fs::path& workingDir) {
    const StreamFiles files{workingDir / ".stdin", workingDir / ".stdout", workingDir / ".stderr"};
    writeFile(files.in, Bytes(input.begin(), input.end()));
    RunResult result;
    result.exitStatus = runAndWait(program, files, workingDir);
    result.out = readText(files.out);
    result.err = readText(files.err);
    for (const fs::path& path : {files.in, files.out, files.err}) fs::remove(path);
    return result;
}

}  // namespace testing_support
