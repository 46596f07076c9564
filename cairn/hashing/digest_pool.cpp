#include "hashing/digest_pool.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>

#include "files/file_access.h"
#include "hashing/lane_worker.h"
#include "hashing/md5_hasher.h"

namespace cairn {
namespace {

// The caller reads streams in pieces of this size: big enough that system
// calls cost nothing next to hashing, small enough to stay in the core's
// cache between the copy and the hash. Where memory is too short for that,
// in smaller pieces, down to a page: md5sum, with 32 KiB, says it ran out
// of memory only where it could not start at all.
constexpr std::size_t kCallerPieceSize = std::size_t{256} << 10;
constexpr std::size_t kSmallestCallerPiece = 4096;

// Jobs queued and not yet taken: enough to keep every worker's lanes busy
// while the caller writes lines and one long file holds the oldest place,
// few enough that memory stays small.
constexpr std::size_t kWindow = 1024;
// Bytes of queued names, beyond which only one more name is queued at a time.
constexpr std::size_t kWindowNameBytes = std::size_t{1} << 20;
// Sleeping workers are woken once this many jobs wait for them.
constexpr std::size_t kWakeBatch = 32;
// Names are handed to the workers this many at a time (each, while workers
// are still being started).
constexpr std::size_t kPublishBatch = 16;

}  // namespace

DigestPool::DigestPool(unsigned workers, LaneTuning tuning)
    : workerCount_(std::max(workers, 1U)), tuning_(tuning), maxWorkers_(workers) {
    workers_.reserve(workers);
    laneWorkers_.reserve(workers);
}

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
    unpublished_.push_back({FileDigest{std::move(name), {}, 0}, {}, standardInput ? State::ForCaller : State::Waiting});
    if (unpublished_.size() >= kPublishBatch || workers_.size() < maxWorkers_) publish();
}

void DigestPool::publish() {
    if (unpublished_.empty()) return;
    std::size_t waiting = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (Job& job : unpublished_) {
            if (job.state == State::Waiting) ++waiting_;
            jobs_.push_back(std::move(job));
        }
        waiting = waiting_;
        if (sleeping_ > 0 && !wakeSent_ && waiting_ >= kWakeBatch) {
            wakeSent_ = true;
            workQueued_.notify_all();
        }
    }
    unpublished_.clear();
    while (workers_.size() < maxWorkers_ && workers_.size() < waiting) startWorker();
}

bool DigestPool::full() const {
    return outstanding_ >= kWindow || (outstanding_ > 0 && nameBytes_ >= kWindowNameBytes);
}

bool DigestPool::nextReady() {
    if (!collected_.empty()) return true;
    if (frontDone_.load(std::memory_order_relaxed) == frontDoneSeen_) return false;
    const std::lock_guard<std::mutex> lock(mutex_);
    collectDone();
    return !collected_.empty();
}

FileDigest DigestPool::next() {
    publish();
    if (collected_.empty()) awaitFront();
    Job job = std::move(collected_.front());
    collected_.pop_front();
    FileDigest& digest = job.digest;
    --outstanding_;
    nameBytes_ -= digest.name.size();
    // A worker allocates nothing: its file's digest is written out here.
    if (digest.error == 0 && digest.hex.empty()) digest.hex = toHex(job.md5);
    return std::move(digest);
}

// Until the oldest job is done, reading it here if it is the caller's; then
// every done job from the oldest on is collected.
void DigestPool::awaitFront() {
    std::unique_lock<std::mutex> lock(mutex_);
    Job& job = jobs_.front();
    while (job.state != State::Done) {
        // Streams, and everything when no worker could be started, are read here.
        if (job.state == State::ForCaller || (job.state == State::Waiting && workers_.empty())) {
            // A stream stays ForCaller while it is read, which holds back
            // the files after it (claim()).
            if (job.state == State::Waiting) {
                --waiting_;
                job.state = State::Claimed;
            }
            lock.unlock();
            finishOnCaller(job);
            lock.lock();
            job.state = State::Done;
            // The files after it may be opened now.
            if (waiting_ > 0 && sleeping_ > 0 && !wakeSent_) {
                wakeSent_ = true;
                workQueued_.notify_all();
            }
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
    collectDone();
}

// Under the lock.
void DigestPool::collectDone() {
    frontDoneSeen_ = frontDone_.load(std::memory_order_relaxed);
    while (!jobs_.empty() && jobs_.front().state == State::Done) {
        collected_.push_back(std::move(jobs_.front()));
        jobs_.pop_front();
        ++taken_;
    }
}

void DigestPool::finishOnCaller(Job& job) {
    if (!callerBuffer_) {
        for (callerPieceSize_ = kCallerPieceSize;; callerPieceSize_ /= 2) {
            callerBuffer_.reset(new (std::nothrow) unsigned char[callerPieceSize_]);
            if (callerBuffer_) break;
            if (callerPieceSize_ == kSmallestCallerPiece) throw std::bad_alloc();
        }
    }
    FileDigest& digest = job.digest;
    const bool standardInput = digest.name == "-";
    if (standardInput) readStandardInput_ = true;
    const int descriptor = standardInput ? files::kStandardInput : openOnCaller(digest.name.c_str());
    if (descriptor < 0) {
        digest.error = errno;
        return;
    }
    Md5Hasher hasher;
    for (;;) {
        const std::int64_t got = files::readSome(descriptor, callerBuffer_.get(), callerPieceSize_);
        if (got > 0) {
            hasher.update(callerBuffer_.get(), static_cast<std::uint32_t>(got));
        } else {
            if (got < 0) digest.error = errno;
            break;
        }
    }
    if (!standardInput) {
        files::closeFile(descriptor);
        descriptors_.closed();
    }
    if (digest.error != 0) return;
    hasher.finish();
    digest.hex = hasher.toHex();
}

// Refused for want of descriptors, the caller, which holds none, waits for
// a worker to close one.
int DigestPool::openOnCaller(const char* name) {
    for (;;) {
        const std::uint64_t givenBackBefore = descriptors_.opening();
        const int descriptor = files::openForReading(name, true);
        if (descriptor >= 0) return descriptor;
        const int error = errno;
        descriptors_.notOpened(error);
        if (!DescriptorLedger::wantOfDescriptors(error) || !descriptors_.waitForGivenBack(givenBackBefore)) {
            errno = error;
            return -1;
        }
    }
}

// A thread that cannot be started (too many processes, too little memory)
// leaves the work to those that exist, or to the caller alone; with little
// memory a worker makes do with fewer lanes.
void DigestPool::startWorker() {
    std::unique_ptr<LaneWorker> worker;
    for (std::size_t lanes = tuning_.maxLanes; lanes > 0 && !worker; lanes /= 2) {
        try {
            worker = std::make_unique<LaneWorker>(*this, lanes);
        } catch (const std::bad_alloc&) {
        }
    }
    try {
        if (worker) {
            workers_.emplace_back(&LaneWorker::run, worker.get());
            laneWorkers_.push_back(std::move(worker));
            return;
        }
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    maxWorkers_ = static_cast<unsigned>(workers_.size());
    const std::lock_guard<std::mutex> lock(mutex_);
    workerCount_ = std::max(maxWorkers_, 1U);
}

// Under the lock: the files a worker holding `held` may take, so that every
// worker holds as many as the others, and one holding none takes at least one.
std::size_t DigestPool::shareFor(std::size_t held) const {
    const std::size_t evenShare = (waiting_ + filesHeld_ + workerCount_ - 1) / workerCount_;
    const std::size_t share = evenShare > held ? evenShare - held : held == 0 ? 1 : 0;
    return std::min(share, waiting_);
}

// Under the lock: up to `most` of the oldest jobs that wait for a worker,
// now claimed.
std::size_t DigestPool::claim(std::size_t most, Job** claimed) {
    if (firstWaiting_ < taken_) firstWaiting_ = taken_;
    const std::uint64_t queued = taken_ + jobs_.size();
    std::size_t count = 0;
    while (count < most && firstWaiting_ < queued) {
        Job& job = jobs_[firstWaiting_ - taken_];
        // No file after a stream the caller has yet to read is opened before
        // it ends, as in md5sum: what a pipe's writer does to files once
        // it is done (`tee file | cairn - file`) is seen.
        if (job.state == State::ForCaller) break;
        ++firstWaiting_;
        if (job.state != State::Waiting) continue;
        job.state = State::Claimed;
        claimed[count++] = &job;
    }
    waiting_ -= count;
    filesHeld_ += count;
    return count;
}

// Under the lock: a worker's job done, or a stream for the caller to read.
void DigestPool::handBack(Job& job, State state) {
    job.state = state;
    --filesHeld_;
    if (&job == &jobs_.front()) frontDone_.fetch_add(1, std::memory_order_relaxed);
    if (awaited_ == &job) callerWake_.notify_one();
}

}  // namespace cairn
