#include "file_output.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using glint::replaceFileContents;
using testing_support::Bytes;
using testing_support::patternBytes;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

bool replace(const fs::path& target, const Bytes& head, const Bytes& tail) {
    return !replaceFileContents(target.c_str(),
                                {{head.data(), head.size()}, {tail.data(), tail.size()}});
}

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

TEST(ReplaceFileContents, WritesPiecesInOrderAndKeepsTheFileMode) {
    ScratchDir dir;
    const Bytes head = patternBytes(14, 1), tail = patternBytes(1000, 2);
    ASSERT_TRUE(replace(dir / "new.bin", head, tail));
    Bytes both = head;
    both.insert(both.end(), tail.begin(), tail.end());
    EXPECT_EQ(readFile(dir / "new.bin"), both);

    writeFile(dir / "old.bin", {1, 2, 3});
    fs::permissions(dir / "old.bin", fs::perms(0640));
    ASSERT_TRUE(replace(dir / "old.bin", tail, head));
    EXPECT_EQ(fs::status(dir / "old.bin").permissions(), fs::perms(0640));
    EXPECT_EQ(entriesIn(dir.path()), 2U);  // no temporary left behind
}

TEST(ReplaceFileContents, FollowsSymbolicLinksAndKeepsThemLinks) {
    ScratchDir dir;
    fs::create_directory(dir / "real");
    writeFile(dir / "real" / "target.bin", {9});
    fs::create_symlink(dir / "real" / "target.bin", dir / "link.bin");
    const Bytes content = patternBytes(50, 3);
    ASSERT_TRUE(replace(dir / "link.bin", content, {}));
    EXPECT_TRUE(fs::is_symlink(dir / "link.bin"));
    EXPECT_EQ(readFile(dir / "real" / "target.bin"), content);
}

TEST(ReplaceFileContents, WritesDevicesInPlaceAndReportsTheirFailures) {
    ScratchDir dir;
    fs::create_symlink("/dev/null", dir / "null");
    fs::create_symlink("/dev/full", dir / "full");
    const Bytes content = patternBytes(10, 4);
    EXPECT_TRUE(replace(dir / "null", content, content));
    EXPECT_FALSE(replace(dir / "full", content, content));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_FALSE(replace(dir / "missing" / "file", content, content));
    EXPECT_FALSE(replace(dir.path(), content, content));  // a folder
}

// A write that fails part way (here: the file size limit) must leave the old
// file exactly as it was and remove the temporary.
TEST(ReplaceFileContents, FailedWriteLeavesTheOldFileUntouched) {
    ScratchDir dir;
    const Bytes old = patternBytes(100, 5);
    writeFile(dir / "keep.bin", old);
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const Bytes big = patternBytes(1 << 20, 6);
        ::_exit(replace(dir / "keep.bin", big, big) ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the oversized write was reported as success";
    EXPECT_EQ(readFile(dir / "keep.bin"), old);
    EXPECT_EQ(entriesIn(dir.path()), 1U);
}

}  // namespace
