// Hashing files, concurrently when there are several.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace cairn {

struct FileDigest {
    std::string name;
    std::string hex;  // 32 lower-case digits once the whole file was read
    int error = 0;    // the system's error number when it could not be opened or read
};

// Hashes queued files on up to `workers` threads and hands the digests back
// in the order the names were queued. One thread, the caller, queues and
// takes the digests; it also reads every stream (standard input, pipes,
// devices) itself, in queue order, so that no two readers ever share one.
// Workers take one file at a time but are woken only when a batch of files
// waits, and they tell the caller of a finished file once they stop or
// start a long one, so that neither side is woken for every small file.
class DigestPool {
public:
    explicit DigestPool(unsigned workers);
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
    enum class State { Waiting, Claimed, ForCaller, Done };
    struct Job {
        FileDigest digest;
        State state = State::Waiting;
        bool outOfMemory = false;
    };

    void startWorker();
    void work(std::unique_ptr<unsigned char[]> buffer);
    Job* claim();
    void finishOnCaller(Job& job);
    void digestFile(Job& job, unsigned char* buffer, bool sequential);
    int openFile(const char* name, bool sequential);
    void closeFile(int descriptor);

    // Guards the jobs and everything the workers share with the caller.
    std::mutex mutex_;
    std::condition_variable workQueued_;
    std::condition_variable callerWake_;
    std::deque<Job> jobs_;           // queued and not yet taken, oldest first
    std::uint64_t taken_ = 0;        // jobs taken before jobs_.front()
    std::uint64_t firstWaiting_ = 0; // no job before this one waits for a worker
    std::size_t waiting_ = 0;        // jobs in the Waiting state
    unsigned sleeping_ = 0;
    bool wakeSent_ = false;          // sleeping workers were woken and have not yet run
    const Job* awaited_ = nullptr;   // the job the caller sleeps for
    bool stopping_ = false;

    // Descriptors the pool holds or is opening, so that a file refused for
    // want of descriptors is retried once one of ours is closed.
    std::mutex descriptorMutex_;
    std::condition_variable descriptorChanged_;
    unsigned descriptorsHeld_ = 0;
    std::uint64_t descriptorCloses_ = 0;

    // The caller's own.
    unsigned maxWorkers_;
    std::vector<std::thread> workers_;
    std::unique_ptr<unsigned char[]> callerBuffer_;
    std::size_t outstanding_ = 0;
    std::size_t nameBytes_ = 0;
    bool readStandardInput_ = false;
};

}  // namespace cairn
