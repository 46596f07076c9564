#include "hashing/digest_pool.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "hashing/md5_hasher.h"
#include "test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using testing_support::Bytes;

std::string md5Hex(const Bytes& bytes) { return cairn::Md5Hasher(std::string(bytes.begin(), bytes.end())).toHex(); }

struct Expected {
    std::string name;
    std::string hex;  // empty when the file cannot be read
    int error = 0;
};

// Files of many sizes, a missing one now and then, and a folder: the names
// and what their digests must be.
std::vector<Expected> makeFiles(const testing_support::ScratchDir& dir, std::uint32_t count) {
    std::vector<Expected> files;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string name = (dir / ("file" + std::to_string(i))).string();
        if (i % 13 == 5) {
            files.push_back({name + ".missing", "", ENOENT});
            continue;
        }
        const Bytes bytes = testing_support::patternBytes((i * 37 * 1024) % 300000, i);
        testing_support::writeFile(name, bytes);
        files.push_back({name, md5Hex(bytes)});
    }
    files.push_back({dir.path().string(), "", EISDIR});
    return files;
}

void expectDigest(const cairn::FileDigest& digest, const Expected& expected) {
    EXPECT_EQ(digest.name, expected.name);
    EXPECT_EQ(digest.hex, expected.hex) << digest.name;
    EXPECT_EQ(digest.error, expected.error) << digest.name;
}

// Whatever the number of workers, and whether the caller takes digests as
// they come or only once everything is queued, each digest comes back in the
// order its name was queued, with a missing file's or a folder's error in
// its place, and the queue never holds more than full() allows.
TEST(DigestPool, DigestsComeBackInQueueOrder) {
    testing_support::ScratchDir dir;
    const std::vector<Expected> files = makeFiles(dir, 60);
    for (const unsigned workers : {1U, 2U, 8U}) {
        for (const bool takeAsTheyCome : {false, true}) {
            SCOPED_TRACE(std::to_string(workers) + (takeAsTheyCome ? " workers, taken as they come" : " workers"));
            cairn::DigestPool pool(workers);
            std::size_t taken = 0;
            for (const Expected& file : files) {
                while (pool.full() || (takeAsTheyCome && pool.nextReady())) expectDigest(pool.next(), files[taken++]);
                pool.queue(file.name);
            }
            while (!pool.empty()) expectDigest(pool.next(), files[taken++]);
            EXPECT_EQ(taken, files.size());
        }
    }
}

#ifndef _WIN32
// Standard input ("-") is read by the caller itself, in its turn among the
// files, and only once it is due.
TEST(DigestPool, ReadsStandardInputInItsTurn) {
    testing_support::ScratchDir dir;
    const std::vector<Expected> files = makeFiles(dir, 6);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const Bytes piped = testing_support::patternBytes(40000, 9);  // within one pipe buffer
    const int savedInput = ::dup(STDIN_FILENO);
    ASSERT_GE(savedInput, 0);
    ASSERT_EQ(::dup2(pipeEnds[0], STDIN_FILENO), STDIN_FILENO);
    ::close(pipeEnds[0]);
    {
        cairn::DigestPool pool(4);
        pool.queue(files[0].name);
        pool.queue("-");
        for (std::size_t i = 1; i < files.size(); ++i) pool.queue(files[i].name);
        expectDigest(pool.next(), files[0]);
        EXPECT_FALSE(pool.readStandardInput());
        // Written only now: a reader that took it earlier would wait forever.
        ASSERT_EQ(::write(pipeEnds[1], piped.data(), piped.size()), static_cast<ssize_t>(piped.size()));
        ::close(pipeEnds[1]);
        expectDigest(pool.next(), {"-", md5Hex(piped)});
        EXPECT_TRUE(pool.readStandardInput());
        for (std::size_t i = 1; i < files.size(); ++i) expectDigest(pool.next(), files[i]);
    }
    ::dup2(savedInput, STDIN_FILENO);
    ::close(savedInput);
}
#endif

}  // namespace
