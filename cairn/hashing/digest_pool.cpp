#include "hashing/digest_pool.h"

#include <cerrno>
#include <new>
#include <system_error>

#include "files/file_access.h"
#include "hashing/md5_hasher.h"

namespace cairn {
namespace {

// Big enough that system calls cost nothing next to hashing, small enough to
// stay in the core's cache between the copy and the hash.
constexpr std::size_t kPieceSize = std::size_t{256} << 10;

// Jobs queued and not yet taken: enough to keep every worker busy while the
// caller writes lines, few enough that memory stays small.
constexpr std::size_t kWindow = 256;
// Bytes of queued names, beyond which only one more name is queued at a time.
constexpr std::size_t kWindowNameBytes = std::size_t{1} << 20;
// Sleeping workers are woken once this many jobs wait for them.
constexpr std::size_t kWakeBatch = 32;
// A worker that finished the file the caller waits for tells it before its
// next long file, when it runs out of work, or after this many short ones.
constexpr unsigned kShortRun = 16;

}  // namespace

DigestPool::DigestPool(unsigned workers) : maxWorkers_(workers) { workers_.reserve(workers); }

DigestPool::~DigestPool() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    workQueued_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void DigestPool::queue(std::string name) {
    const bool standardInput = name == "-";
    nameBytes_ += name.size();
    ++outstanding_;
    std::size_t waiting = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back({FileDigest{std::move(name), {}, 0}, standardInput ? State::ForCaller : State::Waiting});
        if (!standardInput) ++waiting_;
        waiting = waiting_;
        if (sleeping_ > 0 && !wakeSent_ && waiting_ >= kWakeBatch) {
            wakeSent_ = true;
            workQueued_.notify_all();
        }
    }
    if (workers_.size() < maxWorkers_ && workers_.size() < waiting) startWorker();
}

bool DigestPool::full() const {
    return outstanding_ >= kWindow || (outstanding_ > 0 && nameBytes_ >= kWindowNameBytes);
}

bool DigestPool::nextReady() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return !jobs_.empty() && jobs_.front().state == State::Done;
}

FileDigest DigestPool::next() {
    std::unique_lock<std::mutex> lock(mutex_);
    Job& job = jobs_.front();
    while (job.state != State::Done) {
        // Streams, and everything when no worker could be started, are read here.
        if (job.state == State::ForCaller || (job.state == State::Waiting && workers_.empty())) {
            if (job.state == State::Waiting) --waiting_;
            job.state = State::Claimed;
            lock.unlock();
            finishOnCaller(job);
            lock.lock();
            job.state = State::Done;
            break;
        }
        if (waiting_ > 0 && sleeping_ > 0 && !wakeSent_) {
            wakeSent_ = true;
            workQueued_.notify_all();
        }
        awaited_ = &job;
        callerWake_.wait(lock);
        awaited_ = nullptr;
    }
    FileDigest digest = std::move(job.digest);
    const bool outOfMemory = job.outOfMemory;
    jobs_.pop_front();
    ++taken_;
    lock.unlock();
    --outstanding_;
    nameBytes_ -= digest.name.size();
    if (outOfMemory) throw std::bad_alloc();
    return digest;
}

void DigestPool::finishOnCaller(Job& job) {
    if (!callerBuffer_) callerBuffer_.reset(new unsigned char[kPieceSize]);
    if (job.digest.name == "-") readStandardInput_ = true;
    digestFile(job, callerBuffer_.get(), true);
}

// A thread that cannot be started (too many processes, too little memory)
// leaves the work to those that exist, or to the caller alone.
void DigestPool::startWorker() {
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kPieceSize]);
    if (!buffer) {
        maxWorkers_ = static_cast<unsigned>(workers_.size());
        return;
    }
    try {
        workers_.emplace_back(&DigestPool::work, this, std::move(buffer));
    } catch (const std::system_error&) {
        maxWorkers_ = static_cast<unsigned>(workers_.size());
    } catch (const std::bad_alloc&) {
        maxWorkers_ = static_cast<unsigned>(workers_.size());
    }
}

// The oldest job that waits for a worker, now claimed; nothing when none waits.
DigestPool::Job* DigestPool::claim() {
    if (firstWaiting_ < taken_) firstWaiting_ = taken_;
    const std::uint64_t queued = taken_ + jobs_.size();
    while (firstWaiting_ < queued && jobs_[firstWaiting_ - taken_].state != State::Waiting) ++firstWaiting_;
    if (firstWaiting_ == queued) return nullptr;
    Job& job = jobs_[firstWaiting_++ - taken_];
    job.state = State::Claimed;
    --waiting_;
    return &job;
}

void DigestPool::work(std::unique_ptr<unsigned char[]> buffer) {
    bool owesCaller = false;  // the caller sleeps for a job this worker finished
    unsigned shortSinceOwed = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        Job* job = stopping_ ? nullptr : claim();
        if (job == nullptr) {
            if (owesCaller) callerWake_.notify_one();
            owesCaller = false;
            if (stopping_) return;
            ++sleeping_;
            workQueued_.wait(lock);
            --sleeping_;
            wakeSent_ = false;
            continue;
        }
        lock.unlock();
        const files::Facts facts = files::factsOf(job->digest.name.c_str());
        const bool shortFile = !facts.stream && facts.size <= kPieceSize;
        if (owesCaller && (!shortFile || ++shortSinceOwed > kShortRun)) {
            callerWake_.notify_one();
            owesCaller = false;
        }
        if (!facts.stream) digestFile(*job, buffer.get(), !shortFile);
        lock.lock();
        job->state = facts.stream ? State::ForCaller : State::Done;
        if (awaited_ == job) {
            owesCaller = true;
            shortSinceOwed = 0;
            if (facts.stream) {
                callerWake_.notify_one();
                owesCaller = false;
            }
        }
    }
}

void DigestPool::digestFile(Job& job, unsigned char* buffer, bool sequential) {
    FileDigest& digest = job.digest;
    const bool standardInput = digest.name == "-";
    const int descriptor = standardInput ? files::kStandardInput : openFile(digest.name.c_str(), sequential);
    if (descriptor < 0) {
        digest.error = errno;
        return;
    }
    Md5Hasher hasher;
    for (;;) {
        const std::int64_t got = files::readSome(descriptor, buffer, kPieceSize);
        if (got > 0) {
            hasher.update(buffer, static_cast<std::uint32_t>(got));
        } else {
            if (got < 0) digest.error = errno;
            break;
        }
    }
    if (!standardInput) closeFile(descriptor);
    if (digest.error != 0) return;
    hasher.finish();
    try {
        digest.hex = hasher.toHex();
    } catch (const std::bad_alloc&) {
        job.outOfMemory = true;
    }
}

// A file refused for want of descriptors while the pool holds others is
// tried again once one of those is closed: it fails only for its own reason.
int DigestPool::openFile(const char* name, bool sequential) {
    for (;;) {
        std::uint64_t closesBefore = 0;
        {
            const std::lock_guard<std::mutex> lock(descriptorMutex_);
            ++descriptorsHeld_;
            closesBefore = descriptorCloses_;
        }
        const int descriptor = files::openForReading(name, sequential);
        if (descriptor >= 0) return descriptor;
        const int error = errno;
        std::unique_lock<std::mutex> lock(descriptorMutex_);
        --descriptorsHeld_;
        // A waiter may have been counting on this open to close one later.
        descriptorChanged_.notify_all();
        if (error != EMFILE && error != ENFILE) {
            errno = error;
            return -1;
        }
        // A close since this open began, even one made while it was under
        // way, may have freed the number it wanted; with none closed and
        // none held by the pool, no close is coming.
        descriptorChanged_.wait(lock, [&] { return descriptorCloses_ != closesBefore || descriptorsHeld_ == 0; });
        if (descriptorCloses_ == closesBefore) {
            errno = error;
            return -1;
        }
    }
}

void DigestPool::closeFile(int descriptor) {
    files::closeFile(descriptor);
    const std::lock_guard<std::mutex> lock(descriptorMutex_);
    --descriptorsHeld_;
    ++descriptorCloses_;
    descriptorChanged_.notify_all();
}

}  // namespace cairn
