// Reads and writes that a signal interrupts go on; writes report the
// system's reason when they cannot go on.
#include "common/posix/retrying_io.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "test_support.h"

namespace {

void interrupted(int) {}

// A read of a pipe that a signal interrupts (no SA_RESTART) before the bytes
// come gets them all the same.
TEST(RetryingIo, ReadGoesOnAfterASignal) {
    struct sigaction interrupting {};
    interrupting.sa_handler = interrupted;
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGALRM, &interrupting, &before), 0);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const itimerval soon{{0, 0}, {0, 20000}};
    ::setitimer(ITIMER_REAL, &soon, nullptr);
    std::thread writer([&] {
        sigset_t alarm;
        ::sigemptyset(&alarm);
        ::sigaddset(&alarm, SIGALRM);
        ::pthread_sigmask(SIG_BLOCK, &alarm, nullptr);  // the signal is the reader's
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(::write(pipeEnds[1], "key", 3), 3);
    });
    char got[3] = {};
    EXPECT_EQ(common::readRetrying(pipeEnds[0], got, sizeof got), 3);
    EXPECT_EQ(std::string(got, 3), "key");
    writer.join();
    ::sigaction(SIGALRM, &before, nullptr);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

// Everything, in as many writes as a pipe takes, or the reason it stopped.
TEST(RetryingIo, WriteFullyWritesAllOrSaysWhy) {
    const std::string bytes(1 << 20, 'x');
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::string read;
    std::thread reader([&] {
        char piece[4096];
        for (ssize_t got; (got = ::read(pipeEnds[0], piece, sizeof piece)) > 0;) {
            read.append(piece, static_cast<std::size_t>(got));
        }
    });
    EXPECT_EQ(common::writeFully(pipeEnds[1], bytes.data(), bytes.size()), 0);
    ::close(pipeEnds[1]);
    reader.join();
    ::close(pipeEnds[0]);
    EXPECT_EQ(read, bytes);

    testing_support::ScratchDir dir;
    std::filesystem::create_symlink("/dev/full", dir / "full");
    const int full = ::open((dir / "full").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    EXPECT_EQ(common::writeFully(full, bytes.data(), bytes.size()), ENOSPC);
    ::close(full);
    EXPECT_EQ(common::writeFully(full, bytes.data(), bytes.size()), EBADF);
}

}  // namespace
