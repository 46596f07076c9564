#include "digest_pool.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "md5_hasher.h"

namespace cairn {
namespace {

// Big enough that system calls cost nothing next to hashing, small enough to
// stay in the core's cache between the copy and the hash.
constexpr std::size_t kPieceSize = std::size_t{256} << 10;

#ifdef _WIN32
int openForReading(const std::string& name) { return ::_open(name.c_str(), _O_RDONLY | _O_BINARY); }
int readPiece(int descriptor, unsigned char* buffer, std::size_t size) {
    return ::_read(descriptor, buffer, static_cast<unsigned>(size));
}
void closeFile(int descriptor) { ::_close(descriptor); }
#else
int openForReading(const std::string& name) {
    const int descriptor = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
#ifdef POSIX_FADV_SEQUENTIAL
    if (descriptor >= 0) ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return descriptor;
}
ssize_t readPiece(int descriptor, unsigned char* buffer, std::size_t size) {
    return ::read(descriptor, buffer, size);
}
void closeFile(int descriptor) { ::close(descriptor); }
#endif

constexpr int kStandardInput = 0;

}  // namespace

FileDigest digestFile(const std::string& name, unsigned char* buffer, std::size_t bufferSize) {
    FileDigest digest{name, {}, 0};
    const bool standardInput = name == "-";
    const int descriptor = standardInput ? kStandardInput : openForReading(name);
    if (descriptor < 0) {
        digest.error = errno;
        return digest;
    }
    Md5Hasher hasher;
    for (;;) {
        const auto got = readPiece(descriptor, buffer, bufferSize);
        if (got > 0) {
            hasher.update(buffer, static_cast<std::uint32_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            digest.error = errno;
            break;
        }
    }
    if (!standardInput) closeFile(descriptor);
    if (digest.error == 0) {
        hasher.finish();
        digest.hex = hasher.toHex();
    }
    return digest;
}

DigestPool::DigestPool(unsigned workers) : maxWorkers_(workers == 0 ? 1 : workers) {}

DigestPool::~DigestPool() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    workQueued_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void DigestPool::queue(std::string name) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back({FileDigest{std::move(name), {}, 0}, false});
        if (idle_ == 0 && workers_.size() < maxWorkers_) workers_.emplace_back(&DigestPool::work, this);
    }
    workQueued_.notify_one();
}

FileDigest DigestPool::next() {
    std::unique_lock<std::mutex> lock(mutex_);
    jobDone_.wait(lock, [this] { return jobs_.front().done; });
    FileDigest digest = std::move(jobs_.front().digest);
    jobs_.pop_front();
    --firstUnstarted_;
    return digest;
}

bool DigestPool::nextReady() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return !jobs_.empty() && jobs_.front().done;
}

// The next job may start unless it reads standard input while an earlier
// job still does.
bool DigestPool::startable() const {
    return firstUnstarted_ < jobs_.size() &&
           !(standardInputBusy_ && jobs_[firstUnstarted_].digest.name == "-");
}

void DigestPool::work() {
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kPieceSize]);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idle_;
        workQueued_.wait(lock, [this] { return stopping_ || startable(); });
        --idle_;
        if (stopping_) return;
        // Jobs only leave the front once done, so this one stays in place.
        Job& job = jobs_[firstUnstarted_++];
        const bool readsStandardInput = job.digest.name == "-";
        standardInputBusy_ = standardInputBusy_ || readsStandardInput;
        const std::string name = job.digest.name;
        lock.unlock();
        FileDigest digest = digestFile(name, buffer.get(), kPieceSize);
        lock.lock();
        job.digest = std::move(digest);
        job.done = true;
        if (readsStandardInput) standardInputBusy_ = false;
        jobDone_.notify_all();
        if (readsStandardInput) workQueued_.notify_all();
    }
}

}  // namespace cairn
