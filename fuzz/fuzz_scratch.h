// A private scratch folder for one fuzzing process, removed at exit.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzzing {

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "glint-fuzz-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
        if (path_.empty()) std::abort();
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string operator/(const char* name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void writeBytes(const std::string& path, const unsigned char* bytes, std::size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

// Stops the fuzzer with a crash report when a property does not hold.
inline void require(bool holds) {
    if (!holds) __builtin_trap();
}

}  // namespace fuzzing
