#include "hashing/digest_pool.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "hashing/descriptor_ledger.h"
#include "hashing/md5_hasher.h"
#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
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

// Files of many sizes (the block and padding boundaries among them), a
// missing one now and then, and a folder, which on Linux opens and fails at
// its first read: the names and what their digests must be.
std::vector<Expected> makeFiles(const testing_support::ScratchDir& dir, const std::string& prefix, std::uint32_t count,
                                std::size_t scale) {
    static constexpr std::size_t kEdges[] = {0, 55, 56, 63, 64, 65, 119, 120, 128};
    std::vector<Expected> files;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string name = (dir / (prefix + std::to_string(i))).string();
        if (i % 13 == 5) {
            files.push_back({name + ".missing", "", ENOENT});
            continue;
        }
        const std::size_t size = i < std::size(kEdges) ? kEdges[i] : (i * 37 * scale) % (300 * scale);
        const Bytes bytes = testing_support::patternBytes(size, i);
        testing_support::writeFile(name, bytes);
        files.push_back({name, md5Hex(bytes)});
        if (i == count / 2) files.push_back({dir.path().string(), "", EISDIR});
    }
    return files;
}

void expectDigest(const cairn::FileDigest& digest, const Expected& expected) {
    EXPECT_EQ(digest.name, expected.name);
    EXPECT_EQ(digest.hex, expected.hex) << digest.name;
    EXPECT_EQ(digest.error, expected.error) << digest.name;
}

// Queues every file, taking digests as they come or only when full() says
// so, and checks each in queue order.
void hashAll(cairn::DigestPool& pool, const std::vector<Expected>& files, bool takeAsTheyCome) {
    std::size_t taken = 0;
    for (const Expected& file : files) {
        while (pool.full() || (takeAsTheyCome && pool.nextReady())) expectDigest(pool.next(), files[taken++]);
        pool.queue(file.name);
    }
    while (!pool.empty()) expectDigest(pool.next(), files[taken++]);
    EXPECT_EQ(taken, files.size());
}

struct PoolCase {
    unsigned workers;
    cairn::LaneTuning tuning;
};

// Whatever the number of workers and of lanes, and whether the caller takes
// digests as they come or only once everything is queued, each digest comes
// back in the order its name was queued, with a missing file's or a
// folder's error in its place, and the queue never holds more than full()
// allows. Pieces of odd sizes, far smaller than the files, make lanes run
// dry and be refilled at different times, and their files move between
// kernels mid-way as the files in hand grow fewer or more.
TEST(DigestPool, DigestsComeBackInQueueOrder) {
    testing_support::ScratchDir dir;
    const std::vector<Expected> files = makeFiles(dir, "long", 60, 1024);
    const std::vector<Expected> shortFiles = makeFiles(dir, "short", 60, 16);
    const PoolCase cases[] = {
        {1, {}}, {2, {}}, {8, {}}, {1, {1, 4096}}, {2, {2, 1000}}, {2, {64, 333}}, {3, {8, 65}},
    };
    for (const PoolCase& c : cases) {
        const bool smallPieces = c.tuning.pieceSize < 4096;
        for (const bool takeAsTheyCome : {false, true}) {
            SCOPED_TRACE(std::to_string(c.workers) + " workers, " + std::to_string(c.tuning.maxLanes) + " lanes, " +
                         std::to_string(c.tuning.pieceSize) + "-byte pieces" + (takeAsTheyCome ? ", taken as they come" : ""));
            cairn::DigestPool pool(c.workers, c.tuning);
            hashAll(pool, smallPieces ? shortFiles : files, takeAsTheyCome);
        }
    }
}

// A long file among many short ones goes on alone once they are done, in
// a kernel of fewer lanes, from wherever it was in its piece.
TEST(DigestPool, LongFileAmongShortOnesGoesOnAlone) {
    testing_support::ScratchDir dir;
    std::vector<Expected> files = makeFiles(dir, "short", 40, 16);
    const Bytes longBytes = testing_support::patternBytes(std::size_t{3} << 20, 99);
    testing_support::writeFile(dir / "long", longBytes);
    files.insert(files.begin() + 3, {(dir / "long").string(), md5Hex(longBytes)});
    for (const std::size_t piece : {std::size_t{4096}, std::size_t{65536} + 17}) {
        SCOPED_TRACE(std::to_string(piece) + "-byte pieces");
        cairn::DigestPool pool(2, {64, piece});
        hashAll(pool, files, true);
    }
}

// A thread refused a descriptor, holding none, waits while another thread
// opens and is sent on by what that open comes to: a close, or a failed
// open that took a number for a moment (a missing file's: the system takes
// the number before it looks for the file), sends it to try again; an open
// refused like its own took none, and the refusal stands.
TEST(DescriptorLedger, RefusedOpenTriesAgainOnceANumberIsGivenBack) {
    struct Case {
        const char* otherOpen;
        int error;  // 0: it opened, and closes
        bool tryAgain;
    };
    const Case cases[] = {
        {"opened and closed", 0, true},
        {"missing file", ENOENT, true},
        {"forbidden file", EACCES, true},
        {"also refused", EMFILE, false},
        {"refused by the system", ENFILE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.otherOpen);
        cairn::DescriptorLedger ledger;
        ledger.opening();  // the other thread's open, under way
        const std::uint64_t givenBackBefore = ledger.opening();
        ledger.notOpened(EMFILE);
        std::future<bool> waiter =
            std::async(std::launch::async, [&] { return ledger.waitForGivenBack(givenBackBefore); });
        if (c.error == 0) {
            ledger.closed();
        } else {
            ledger.notOpened(c.error);
        }
        EXPECT_EQ(waiter.get(), c.tryAgain);
    }
}

#ifndef _WIN32
// Standard input ("-") is read by the caller itself, in its turn among the
// files, and only once it is due; no file after it is opened before it ends,
// as md5sum opens them: here the next one does not exist before then.
TEST(DigestPool, ReadsStandardInputInItsTurn) {
    testing_support::ScratchDir dir;
    const std::vector<Expected> files = makeFiles(dir, "file", 6, 1024);
    const Expected late{(dir / "late").string(), md5Hex(testing_support::patternBytes(5000, 3))};
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
        pool.queue(late.name);
        for (std::size_t i = 1; i < files.size(); ++i) pool.queue(files[i].name);
        expectDigest(pool.next(), files[0]);
        EXPECT_FALSE(pool.readStandardInput());
        // Time for a worker that took the late file early to fail on it.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        testing_support::writeFile(late.name, testing_support::patternBytes(5000, 3));
        // Written only now: a reader that took it earlier would wait forever.
        ASSERT_EQ(::write(pipeEnds[1], piped.data(), piped.size()), static_cast<ssize_t>(piped.size()));
        ::close(pipeEnds[1]);
        expectDigest(pool.next(), {"-", md5Hex(piped)});
        EXPECT_TRUE(pool.readStandardInput());
        expectDigest(pool.next(), late);
        for (std::size_t i = 1; i < files.size(); ++i) expectDigest(pool.next(), files[i]);
    }
    ::dup2(savedInput, STDIN_FILENO);
    ::close(savedInput);
}

// With one descriptor to spare, or a few, every file is hashed as with
// plenty: a worker refused one waits for a close of the pool's, holding
// none meanwhile, and no file fails where md5sum, holding one at a time,
// would read it. The run with plenty comes first: the sanitizer builds
// check a thread's start with a pipe of their own the first time they see
// it, which one spare descriptor cannot give.
TEST(DigestPool, HashesEveryFileWithFewDescriptors) {
    testing_support::ScratchDir dir;
    const std::vector<Expected> files = makeFiles(dir, "file", 80, 64);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    for (const rlim_t spare : {saved.rlim_cur, rlim_t{1}, rlim_t{3}}) {
        SCOPED_TRACE(std::to_string(spare) + " descriptors to spare at most");
        rlimit few = saved;
        if (spare != saved.rlim_cur) few.rlim_cur = static_cast<rlim_t>(lowestFree) + spare;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
        {
            cairn::DigestPool pool(2);
            hashAll(pool, files, true);
        }
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    }
}
#endif

}  // namespace
