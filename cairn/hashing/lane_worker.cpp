#include "hashing/lane_worker.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <optional>
#include <string_view>

#include "files/file_access.h"

namespace cairn {
namespace {

// Folder names are kept in a block of this size, taken once: longer names
// are opened whole (POSIX opens no longer path in one piece).
constexpr std::size_t kFolderNameRoom = 4096;

}  // namespace

std::vector<const Md5Kernel*> md5KernelLadder(std::size_t maxLanes) {
    std::vector<const Md5Kernel*> ladder;
    // md5Kernels() lists the fastest first: the first of each width wins.
    for (const Md5Kernel& kernel : md5Kernels()) {
        if (kernel.lanes > maxLanes || !kernel.usable()) continue;
        const bool widthTaken = std::any_of(ladder.begin(), ladder.end(),
                                            [&](const Md5Kernel* k) { return k->lanes == kernel.lanes; });
        if (!widthTaken) ladder.push_back(&kernel);
    }
    std::sort(ladder.begin(), ladder.end(), [](const Md5Kernel* a, const Md5Kernel* b) { return a->lanes < b->lanes; });
    return ladder;
}

namespace {

std::vector<Md5Lanes> lanesOfLadder(std::size_t maxLanes) {
    std::vector<Md5Lanes> ladder;
    for (const Md5Kernel* kernel : md5KernelLadder(maxLanes)) ladder.emplace_back(*kernel);
    return ladder;
}

}  // namespace

LaneWorker::LaneWorker(DigestPool& pool, std::size_t maxLanes)
    : pool_(pool),
      ladder_(lanesOfLadder(maxLanes)),
      buffers_(ladder_.back().laneCount(), pool.tuning_.pieceSize),
      slots_(ladder_.back().laneCount()) {
    claimed_.resize(slots_.size());
    handedBack_.reserve(2 * slots_.size());  // a slot may be freed twice in a round
    folder_.reserve(kFolderNameRoom);
}

LaneWorker::~LaneWorker() { releaseFolder(); }

// Each round hands back what the last one finished, takes more files where
// lanes are free, reads the next piece of every file whose lane asks for
// one, and compresses until a lane runs dry.
void LaneWorker::run() {
    std::unique_lock<std::mutex> lock(pool_.mutex_);
    for (;;) {
        for (const auto& [job, state] : handedBack_) pool_.handBack(*job, state);
        handedBack_.clear();
        if (pool_.stopping_) break;
        const std::size_t claimed = claimMore();
        if (held_ == 0 && claimed == 0) {
            // An idle worker holds no descriptor another may be waiting for.
            releaseFolder();
            ++pool_.sleeping_;
            pool_.workQueued_.wait(lock);
            --pool_.sleeping_;
            pool_.wakeSent_ = false;
            continue;
        }
        lock.unlock();
        for (std::size_t i = 0; i < claimed; ++i) start(*claimed_[i]);
        retryRefused();
        fitKernel();
        readPieces();
        lanes().run();
        collectDone();
        lock.lock();
    }
    lock.unlock();
    dropAll();
}

// Under the pool's lock: as many files as this worker's share of those
// waiting, and as fit the narrowest kernel that holds them with those it has.
std::size_t LaneWorker::claimMore() {
    if (refused_ > 0) return 0;  // no descriptor for those it has
    const std::size_t share = pool_.shareFor(held_);
    if (share == 0) return 0;
    const std::size_t wanted = held_ + share;
    std::size_t lanes = ladder_.back().laneCount();
    for (const Md5Lanes& rung : ladder_) {
        if (rung.laneCount() >= wanted) {
            lanes = rung.laneCount();
            break;
        }
    }
    return pool_.claim(std::min(share, lanes - held_), claimed_.data());
}

// A claimed file takes a free slot; a stream, or the file the run's output
// goes to, goes back to the caller, which reads it in its turn.
void LaneWorker::start(Job& job) {
    Slot& slot = *std::find_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.job == nullptr; });
    slot.job = &job;
    ++held_;
    const std::string& name = job.digest.name;
    const Place place = locate(name);
    const files::Facts facts = place.folder >= 0 ? files::factsAt(place.folder, place.name) : files::factsOf(name.c_str());
    if (facts.stream || facts.ownOutput) {
        release(slot, DigestPool::State::ForCaller);
        return;
    }
    // Files longer than a piece are read on from start to end.
    slot.sequential = facts.size > pool_.tuning_.pieceSize;
    slot.size = facts.size;
    const Opening opening = open(slot);
    if (opening == Opening::Failed) release(slot, DigestPool::State::Done);
    if (opening == Opening::Refused) ++refused_;
}

// A file refused for want of descriptors while the worker holds others is
// tried again once one of those is closed; one refused while the worker
// holds none waits for a close by another thread of the pool. So it fails
// only for its own reason, and no thread waits while holding descriptors.
LaneWorker::Opening LaneWorker::open(Slot& slot) {
    const std::string& name = slot.job->digest.name;
    for (;;) {
        const Place place = locate(name);
        const std::uint64_t givenBackBefore = pool_.descriptors_.opening();
        const int descriptor = place.folder >= 0 ? files::openAt(place.folder, place.name, slot.sequential)
                                                 : files::openForReading(name.c_str(), slot.sequential);
        if (descriptor >= 0) {
            slot.descriptor = descriptor;
            ++open_;
            return Opening::Opened;
        }
        const int error = errno;
        pool_.descriptors_.notOpened(error);
        if (DescriptorLedger::wantOfDescriptors(error)) {
            pool_.descriptorsScarce_ = true;
            if (releaseFolder()) continue;
            if (open_ > 0) return Opening::Refused;
            if (pool_.descriptors_.waitForGivenBack(givenBackBefore)) continue;
        }
        slot.job->digest.error = error;
        return Opening::Failed;
    }
}

void LaneWorker::retryRefused() {
    if (refused_ == 0 || (!closedSinceRefusal_ && open_ > 0)) return;
    closedSinceRefusal_ = false;
    for (Slot& slot : slots_) {
        if (slot.job == nullptr || slot.descriptor >= 0) continue;
        const Opening opening = open(slot);
        if (opening == Opening::Refused) return;
        --refused_;
        if (opening == Opening::Failed) release(slot, DigestPool::State::Done);
    }
}

// The narrowest kernel whose lanes hold every open file: a vector kernel
// while many are open, two scalar lanes for two files, and one scalar lane
// for the last file, which then runs as fast as the scalar hasher alone.
// The files move over with everything they hold.
void LaneWorker::fitKernel() {
    std::size_t target = 0;
    while (target + 1 < ladder_.size() && ladder_[target].laneCount() < open_) ++target;
    if (target != current_) {
        std::size_t nextLane = 0;
        for (Slot& slot : slots_) {
            if (slot.lane == kNoLane) continue;
            lanes().moveTo(slot.lane, ladder_[target], nextLane);
            slot.lane = nextLane++;
        }
        current_ = target;
    }
    std::uint64_t used = 0;
    for (const Slot& slot : slots_) {
        if (slot.lane != kNoLane) used |= std::uint64_t{1} << slot.lane;
    }
    for (Slot& slot : slots_) {
        if (slot.descriptor < 0 || slot.lane != kNoLane) continue;
        slot.lane = static_cast<std::size_t>(std::countr_one(used));
        used |= std::uint64_t{1} << slot.lane;
    }
}

// md5sum's rule: a file ends where a read returns nothing. A read of a
// regular file that stops short of the piece stops at its end, though: when
// it ends where the look before opening said (files of /proc and /sys say 0
// or a page, whatever they hold), the read that would return nothing is
// spared, a fifth of the system calls of a small file.
void LaneWorker::readPieces() {
    for (std::size_t index = 0; index < slots_.size(); ++index) {
        Slot& slot = slots_[index];
        if (slot.lane == kNoLane || !lanes().hungry(slot.lane)) continue;
        unsigned char* buffer = buffers_[index];
        const std::int64_t got = files::readSome(slot.descriptor, buffer, buffers_.pieceSize());
        if (got > 0) {
            lanes().feed(slot.lane, buffer, static_cast<std::size_t>(got));
            slot.readSoFar += static_cast<std::uint64_t>(got);
            const bool endedShort = static_cast<std::uint64_t>(got) < buffers_.pieceSize();
            if (endedShort && slot.size > 0 && slot.readSoFar == slot.size) lanes().finish(slot.lane);
        } else if (got == 0) {
            lanes().finish(slot.lane);
        } else {
            slot.job->digest.error = errno;
            lanes().discard(slot.lane);
            release(slot, DigestPool::State::Done);
        }
    }
}

void LaneWorker::collectDone() {
    for (Slot& slot : slots_) {
        if (slot.lane == kNoLane || !lanes().done(slot.lane)) continue;
        slot.job->md5 = *lanes().take(slot.lane);
        release(slot, DigestPool::State::Done);
    }
}

// The slot's file is closed and its job handed back at the next round.
void LaneWorker::release(Slot& slot, DigestPool::State state) {
    closeFile(slot);
    handedBack_.emplace_back(slot.job, state);
    slot = Slot{};
    --held_;
}

void LaneWorker::closeFile(Slot& slot) {
    if (slot.descriptor < 0) return;
    files::closeFile(slot.descriptor);
    pool_.descriptors_.closed();
    --open_;
    closedSinceRefusal_ = true;
}

// The pool is going away: files in hand are dropped.
void LaneWorker::dropAll() {
    for (Slot& slot : slots_) {
        if (slot.lane != kNoLane) lanes().discard(slot.lane);
        closeFile(slot);
        slot = Slot{};
    }
    releaseFolder();
}

// The first name of a folder is opened whole; the next one of the same
// folder opens the folder, which is held while names follow in it.
LaneWorker::Place LaneWorker::locate(const std::string& name) {
    const Place whole{-1, name.c_str()};
    const std::optional<files::FolderSplit> split = files::splitFolder(name);
    if (!split || split->folderLength >= kFolderNameRoom) return whole;
    const std::string_view folder(name.data(), split->folderLength);
    if (folder != folder_) {
        releaseFolder();
        folder_.assign(folder);  // within the room reserved
        folderRefused_ = false;
        return whole;
    }
    if (pool_.descriptorsScarce_) {
        releaseFolder();
        return whole;
    }
    if (folderDescriptor_ < 0 && !folderRefused_) {
        pool_.descriptors_.opening();
        folderDescriptor_ = files::openFolder(folder_.c_str());
        if (folderDescriptor_ < 0) {
            const int error = errno;
            pool_.descriptors_.notOpened(error);
            folderRefused_ = true;
            if (DescriptorLedger::wantOfDescriptors(error)) pool_.descriptorsScarce_ = true;
        }
    }
    return folderDescriptor_ >= 0 ? Place{folderDescriptor_, name.c_str() + split->restStart} : whole;
}

bool LaneWorker::releaseFolder() {
    if (folderDescriptor_ < 0) return false;
    files::closeFile(folderDescriptor_);
    folderDescriptor_ = -1;
    pool_.descriptors_.closed();
    return true;
}

}  // namespace cairn
