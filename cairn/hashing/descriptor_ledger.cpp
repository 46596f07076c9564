#include "hashing/descriptor_ledger.h"

#include <cerrno>

namespace cairn {

bool DescriptorLedger::wantOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

std::uint64_t DescriptorLedger::opening() {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++held_;
    return givenBack_;
}

void DescriptorLedger::notOpened(int error) {
    const std::lock_guard<std::mutex> lock(mutex_);
    --held_;
    // Even a missing file's open may have taken the number another thread
    // was refused; a refused open took none, and counting it would send
    // two refused threads round and round on each other's refusals.
    if (!wantOfDescriptors(error)) ++givenBack_;
    // A waiter may have been counting on this open to close one later.
    changed_.notify_all();
}

void DescriptorLedger::closed() {
    const std::lock_guard<std::mutex> lock(mutex_);
    --held_;
    ++givenBack_;
    changed_.notify_all();
}

bool DescriptorLedger::waitForGivenBack(std::uint64_t givenBackBefore) {
    std::unique_lock<std::mutex> lock(mutex_);
    // A number given back since the open began, even while it was under
    // way, may be the one it wanted.
    changed_.wait(lock, [&] { return givenBack_ != givenBackBefore || held_ == 0; });
    return givenBack_ != givenBackBefore;
}

}  // namespace cairn
