// No copy of a key is left in the memory of a process that hid and recovered
// with a passphrase: a child process does both, and when it is about to exit
// the test (its tracer) works out every key from the picture and the
// passphrase and searches all of the child's writable memory for them, whole
// and in 16-byte halves (a vector register's worth).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "encryption/hidden_keys.h"
#include "hidden/hidden_picture.h"
#include "test_support.h"

namespace {

using testing_support::Bytes;
using testing_support::patternBytes;

std::unique_ptr<glint::SecretBytes> secret(const std::string& text) {
    auto bytes = std::make_unique<glint::SecretBytes>(text.size());
    for (const char c : text) bytes->append(static_cast<unsigned char>(c));
    return bytes;
}

constexpr const char* kPassphrase = "tr0ub4dor&3";

// The child, in a fresh process as glint runs: hides and recovers in its
// pixels, shared with the parent, or seals and opens a payload as the
// version 1.0 layout does, leaving the seal's salt after the pixels.
[[noreturn]] void hideAndRecover(unsigned char* pixels, std::size_t size, bool hidden) {
    ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    ::raise(SIGSTOP);
    glint::HiddenCover cover;
    cover.plane = {pixels, size / 600, 600, 200, 3, 3, 1};
    const Bytes payload = patternBytes(5000, 7);
    bool done = false;
    if (hidden) {
        const auto passphrase = secret(kPassphrase);
        done = glint::hideHidden(cover, *passphrase, "p", payload.data(), payload.size()) == glint::HiddenHide::Hidden &&
               glint::recoverHidden(cover, *passphrase).result == glint::PayloadSeal::Opened::Yes;
    } else {
        glint::PassphraseSeal seal(secret(kPassphrase));
        Bytes sealed = payload;
        unsigned char* before = pixels + size;
        unsigned char after[glint::kTagBytes];
        done = seal.close(before, sealed.data(), sealed.size(), after) &&
               seal.open(before, sealed.data(), sealed.size(), after) == glint::PayloadSeal::Opened::Yes;
    }
    ::_exit(done ? 0 : 3);
}

// Every writable mapping of process `pid`.
std::vector<std::pair<std::uint64_t, std::uint64_t>> writableMappings(pid_t pid) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::string span, permissions;
        fields >> span >> permissions;
        if (permissions.size() < 2 || permissions[1] != 'w') continue;
        const std::size_t dash = span.find('-');
        ranges.emplace_back(std::stoull(span.substr(0, dash), nullptr, 16), std::stoull(span.substr(dash + 1), nullptr, 16));
    }
    return ranges;
}

// Every key of a child's hide, worked out from what it left in the picture.
std::vector<std::pair<std::string, Bytes>> keysOf(unsigned char* pixels, std::size_t size, bool hidden) {
    glint::HiddenCover cover;
    cover.plane = {pixels, size / 600, 600, 200, 3, 3, 1};
    const auto passphrase = secret(kPassphrase);
    std::vector<std::pair<std::string, Bytes>> keys;
    auto add = [&](const std::string& name, const glint::SecretBytes& key) {
        keys.emplace_back(name, Bytes(key.data(), key.data() + key.size()));
    };
    if (!hidden) {
        add("1.0 seal", *glint::deriveKey(*passphrase, pixels + size));
        return keys;
    }
    const std::optional<glint::HiddenKeys> found = glint::hiddenKeysOf(cover, *passphrase);
    if (!found || !found->ready()) return keys;
    add("master", *found->master);
    add("layout", *found->layout);
    add("changes", *found->changes);
    add("seal", *found->seal);
    return keys;
}

// Sanitizers keep memory of their own beside the program's (shadow memory,
// quarantined blocks), which is theirs to search, not the program's.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

TEST(HiddenMemory, NoKeyIsLeftInTheProcessAtExit) {
  if (kSanitized) GTEST_SKIP() << "a sanitizer's own memory is not the program's";
  for (const bool hidden : {true, false}) {
    SCOPED_TRACE(hidden ? "hidden layout" : "version 1.0 seal");
    // Eight blocks of units, so that two threads share them.
    const std::size_t size = 600 * 900;
    auto* pixels = static_cast<unsigned char*>(::mmap(nullptr, size + glint::kSaltBytes + glint::kNonceBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pixels, MAP_FAILED);
    const Bytes cover = patternBytes(size, 3);
    std::copy(cover.begin(), cover.end(), pixels);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) hideAndRecover(pixels, size, hidden);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSTOPPED(status));
    ASSERT_EQ(::ptrace(PTRACE_SETOPTIONS, child, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACEEXIT)), 0);
    ASSERT_EQ(::ptrace(PTRACE_CONT, child, nullptr, nullptr), 0);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(status >> 8, SIGTRAP | (PTRACE_EVENT_EXIT << 8)) << "the child did not stop at its exit";

    const std::vector<std::pair<std::string, Bytes>> keys = keysOf(pixels, size, hidden);
    ASSERT_FALSE(keys.empty());
    // Read in pieces that overlap by a key's half, so that no copy is missed
    // at a seam. Mappings of a terabyte or more are a sanitizer's shadow
    // memory, reserved and never written by the program.
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    constexpr std::size_t kHalf = 16;
    std::ifstream memory("/proc/" + std::to_string(child) + "/mem", std::ios::binary);
    std::size_t searched = 0;
    for (const auto& [start, end] : writableMappings(child)) {
        if (start == reinterpret_cast<std::uint64_t>(pixels) || end - start >= (std::uint64_t{1} << 40)) continue;
        for (std::uint64_t at = start; at < end; at += kPiece - kHalf) {
            Bytes bytes(static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, end - at)));
            memory.clear();
            memory.seekg(static_cast<std::streamoff>(at));
            memory.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            if (memory.gcount() <= 0) break;
            bytes.resize(static_cast<std::size_t>(memory.gcount()));
            searched += bytes.size();
            for (const auto& [name, key] : keys) {
                for (const auto half : {std::ptrdiff_t{0}, std::ptrdiff_t{16}}) {
                    const auto found = std::search(bytes.begin(), bytes.end(), key.begin() + half, key.begin() + half + 16);
                    EXPECT_EQ(found, bytes.end()) << "bytes " << half << "-" << half + 15 << " of the " << name
                                                  << " key at " << std::hex
                                                  << at + static_cast<std::uint64_t>(found - bytes.begin());
                }
            }
            if (bytes.size() < kPiece) break;
        }
    }
    EXPECT_GT(searched, std::size_t{1} << 20) << "the child's memory could not be read";
    ::ptrace(PTRACE_CONT, child, nullptr, nullptr);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's hide or recover failed";
    ::munmap(pixels, size + glint::kSaltBytes + glint::kNonceBytes);
  }
}

}  // namespace
