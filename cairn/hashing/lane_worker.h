// One worker thread of a DigestPool: the files it holds, hashed side by side
// in the lanes of an MD5 kernel as wide as their number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "hashing/digest_pool.h"
#include "hashing/md5_lanes.h"

namespace cairn {

// For every number of lanes the kernels of this machine offer, up to
// `maxLanes`, the fastest kernel with that many; the narrowest first.
std::vector<const Md5Kernel*> md5KernelLadder(std::size_t maxLanes);

class LaneWorker {
public:
    // Takes all the memory the worker will use, so that it allocates nothing
    // while it runs; throws std::bad_alloc when there is not enough.
    LaneWorker(DigestPool& pool, std::size_t maxLanes);
    ~LaneWorker();
    LaneWorker(const LaneWorker&) = delete;
    LaneWorker& operator=(const LaneWorker&) = delete;

    // Hashes what the pool hands out until the pool stops.
    void run();

private:
    using Job = DigestPool::Job;
    static constexpr std::size_t kNoLane = ~std::size_t{0};

    // A file the worker holds. It has a lane once it is open; without a
    // descriptor it waits for one of the worker's own files to be closed.
    struct Slot {
        Job* job = nullptr;
        int descriptor = -1;
        std::size_t lane = kNoLane;
        bool sequential = false;
        std::uint64_t size = 0;      // as the look before opening found it
        std::uint64_t readSoFar = 0;
    };
    // Where a name is opened from: a folder's descriptor and the rest of
    // the name, or (folder < 0) the whole name.
    struct Place {
        int folder;
        const char* name;
    };
    enum class Opening { Opened, Failed, Refused };

    std::size_t claimMore();
    void start(Job& job);
    Opening open(Slot& slot);
    void retryRefused();
    void fitKernel();
    void readPieces();
    void collectDone();
    void release(Slot& slot, DigestPool::State state);
    void closeFile(Slot& slot);
    void dropAll();
    Place locate(const std::string& name);
    bool releaseFolder();
    Md5Lanes& lanes() { return ladder_[current_]; }

    DigestPool& pool_;
    std::vector<Md5Lanes> ladder_;  // one per kernel, narrowest first
    std::size_t current_ = 0;
    Md5LaneBuffers buffers_;        // one per slot
    std::vector<Slot> slots_;
    std::size_t held_ = 0;          // slots with a job
    std::size_t open_ = 0;          // slots with a descriptor
    std::size_t refused_ = 0;       // slots waiting for a descriptor
    bool closedSinceRefusal_ = false;
    std::vector<Job*> claimed_;
    std::vector<std::pair<Job*, DigestPool::State>> handedBack_;
    std::string folder_;            // of the last name looked at
    int folderDescriptor_ = -1;
    bool folderRefused_ = false;    // folder_ could not be opened
};

}  // namespace cairn
