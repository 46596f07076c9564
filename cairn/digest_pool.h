// Hashing files, concurrently when there are several.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
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

// The MD5 digest of the file `name` ("-" is standard input), read in pieces
// into `buffer`, so that memory stays bounded whatever the file's size.
FileDigest digestFile(const std::string& name, unsigned char* buffer, std::size_t bufferSize);

// Hashes queued files on up to `workers` threads, started as they are
// needed (one file uses one), and hands the digests back in the order the
// names were queued. Standard input is read by one job at a time, in order.
class DigestPool {
public:
    explicit DigestPool(unsigned workers);
    ~DigestPool();
    DigestPool(const DigestPool&) = delete;
    DigestPool& operator=(const DigestPool&) = delete;

    void queue(std::string name);
    // The digest of the oldest name not yet taken, waiting for it if need be.
    FileDigest next();
    // True when next() would return at once.
    bool nextReady();

private:
    struct Job {
        FileDigest digest;
        bool done = false;
    };
    void work();
    bool startable() const;

    std::mutex mutex_;
    std::condition_variable workQueued_;
    std::condition_variable jobDone_;
    std::deque<Job> jobs_;  // queued and not yet taken, oldest first
    std::size_t firstUnstarted_ = 0;
    bool standardInputBusy_ = false;
    bool stopping_ = false;
    unsigned idle_ = 0;
    const unsigned maxWorkers_;
    std::vector<std::thread> workers_;
};

}  // namespace cairn
