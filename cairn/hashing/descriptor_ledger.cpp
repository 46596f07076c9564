#include "hashing/descriptor_ledger.h"

namespace cairn {

std::uint64_t DescriptorLedger::opening() {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++held_;
    return closes_;
}

void DescriptorLedger::notOpened() {
    const std::lock_guard<std::mutex> lock(mutex_);
    --held_;
    // A waiter may have been counting on this open to close one later.
    changed_.notify_all();
}

void DescriptorLedger::closed() {
    const std::lock_guard<std::mutex> lock(mutex_);
    --held_;
    ++closes_;
    changed_.notify_all();
}

bool DescriptorLedger::waitForClose(std::uint64_t closesBefore) {
    std::unique_lock<std::mutex> lock(mutex_);
    // A close since the open began, even one made while it was under way,
    // may have freed the number it wanted.
    changed_.wait(lock, [&] { return closes_ != closesBefore || held_ == 0; });
    return closes_ != closesBefore;
}

}  // namespace cairn
