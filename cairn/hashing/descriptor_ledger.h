// The descriptors a pool's threads hold or are opening, so that an open
// refused for want of descriptors waits for one of those to be closed
// instead of failing where md5sum, holding one file at a time, would not.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace cairn {

class DescriptorLedger {
public:
    // Around every open of the pool's threads: counted as held while under
    // way, so that a thread refused meanwhile waits for it. opening()
    // returns the closes so far, to tell later whether one came since.
    std::uint64_t opening();
    void notOpened();
    void closed();
    // After an open refused for want of descriptors by a thread that holds
    // none: waits until a close made since `closesBefore`. False at once
    // when the pool holds none, so that none is coming: the refusal stands.
    bool waitForClose(std::uint64_t closesBefore);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned held_ = 0;
    std::uint64_t closes_ = 0;
};

}  // namespace cairn
