// Hashing files, concurrently when there are several.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hashing/descriptor_ledger.h"
#include "hashing/md5_lanes.h"

namespace cairn {

struct FileDigest {
    std::string name;
    std::string hex;  // 32 lower-case digits once the whole file was read
    int error = 0;    // the system's error number when it could not be opened or read
};

// How the workers hash: the most lanes a worker fills, and the size of the
// pieces it reads.
struct LaneTuning {
    std::size_t maxLanes = 64;
    std::size_t pieceSize = std::size_t{64} << 10;
};

class LaneWorker;

// Hashes queued files on up to `workers` threads and hands the digests back
// in the order the names were queued. One thread, the caller, queues and
// takes the digests; it also reads every stream (standard input, pipes,
// devices) itself, in queue order, so that no two readers ever share one.
// Each worker holds as many files as the lanes of its MD5 kernel and hashes
// them side by side (md5_lanes.h), taking the next file into a lane as soon
// as one is done; the files waiting are shared out evenly, so that a few
// large ones still keep every worker's lanes busy.
class DigestPool {
public:
    explicit DigestPool(unsigned workers, LaneTuning tuning = {});
    ~DigestPool();
    DigestPool(const DigestPool&) = delete;
    DigestPool& operator=(const DigestPool&) = delete;

    // Queues `name` ("-" is standard input).
    void queue(std::string name);
    // True when enough is queued: take a digest before queueing more, so
    // that memory stays bounded whatever the number or length of the names.
    bool full() const;
    bool empty() const { return outstanding_ == 0; }
    // True when next() would return without waiting for a worker.
    bool nextReady();
    // The digest of the oldest name not yet taken, waiting for it if need
    // be. Throws std::bad_alloc when memory ran out while hashing it.
    FileDigest next();
    // True once standard input was read, or tried.
    bool readStandardInput() const { return readStandardInput_; }

private:
    friend class LaneWorker;
    enum class State { Waiting, Claimed, ForCaller, Done };
    struct Job {
        FileDigest digest;
        Md5Digest md5{};  // of a file a worker read, turned into hex by the caller
        State state = State::Waiting;
    };

    void publish();
    void awaitFront();
    void collectDone();
    void startWorker();
    std::size_t claim(std::size_t most, Job** claimed);
    std::size_t shareFor(std::size_t held) const;
    void handBack(Job& job, State state);
    void finishOnCaller(Job& job);
    int openOnCaller(const char* name);

    // Guards the jobs and everything the workers share with the caller.
    std::mutex mutex_;
    std::condition_variable workQueued_;
    std::condition_variable callerWake_;
    std::deque<Job> jobs_;           // queued and not yet taken, oldest first
    std::uint64_t taken_ = 0;        // jobs taken before jobs_.front()
    std::uint64_t firstWaiting_ = 0; // no job before this one waits for a worker
    std::size_t waiting_ = 0;        // jobs in the Waiting state
    std::size_t filesHeld_ = 0;      // jobs the workers have claimed and not handed back
    unsigned workerCount_ = 0;       // workers there are or will be
    unsigned sleeping_ = 0;
    bool wakeSent_ = false;          // sleeping workers were woken and have not yet run
    const Job* awaited_ = nullptr;   // the job the caller sleeps for
    bool stopping_ = false;
    // Counts the jobs handed back while they were the oldest: read by the
    // caller without the lock, so that it takes the lock to collect digests
    // only when there may be one to take.
    std::atomic<std::uint64_t> frontDone_{0};

    const LaneTuning tuning_;
    DescriptorLedger descriptors_;
    // Set once a descriptor was refused: from then on no worker holds a
    // folder open beside its files.
    std::atomic<bool> descriptorsScarce_{false};

    // The caller's own. Names are queued and digests taken in batches, so
    // that the caller takes the lock once for many files, not three times
    // for each, while the workers want it too.
    std::vector<Job> unpublished_;   // queued, not yet in jobs_
    std::deque<Job> collected_;      // done, taken out of jobs_, oldest first
    std::uint64_t frontDoneSeen_ = 0;
    unsigned maxWorkers_;
    std::vector<std::unique_ptr<LaneWorker>> laneWorkers_;
    std::vector<std::thread> workers_;
    std::unique_ptr<unsigned char[]> callerBuffer_;
    std::size_t callerPieceSize_ = 0;
    std::size_t outstanding_ = 0;
    std::size_t nameBytes_ = 0;
    bool readStandardInput_ = false;
};

}  // namespace cairn
