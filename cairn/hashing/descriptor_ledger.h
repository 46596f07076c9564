// The descriptors a pool's threads hold or are opening, so that an open
// refused for want of descriptors waits for one of those to be given back
// instead of failing where md5sum, holding one file at a time, would not.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace cairn {

class DescriptorLedger {
public:
    // True for the errors of an open refused for want of descriptors.
    static bool wantOfDescriptors(int error);

    // Around every open of the pool's threads: counted as held while under
    // way, so that a thread refused meanwhile waits for it. opening()
    // returns the numbers given back so far, to tell later whether one was
    // given back since.
    std::uint64_t opening();
    // An open that failed with `error`. The system takes a number before it
    // looks for the file, so an open that fails for any reason but want of
    // descriptors held one for a moment and gives it back, as a close does.
    void notOpened(int error);
    void closed();
    // After an open refused for want of descriptors by a thread that holds
    // none: waits until a number was given back since `givenBackBefore`.
    // False at once when the pool holds none, so that none is coming: the
    // refusal stands.
    bool waitForGivenBack(std::uint64_t givenBackBefore);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned held_ = 0;
    std::uint64_t givenBack_ = 0;
};

}  // namespace cairn
