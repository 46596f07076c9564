#include <windows.h>

#include "common/signals.h"

namespace common {
namespace {

// The console's events arrive on a thread of their own: holding them is
// holding this lock, which the handler takes before it acts.
SRWLOCK heldLock = SRWLOCK_INIT;
thread_local int holdDepth = 0;
void (*beforeEnding)() = nullptr;

BOOL WINAPI actThenEnd(DWORD) {
    ::AcquireSRWLockExclusive(&heldLock);
    if (beforeEnding != nullptr) beforeEnding();
    // The lock stays taken: the program is ending, and what it was doing
    // goes no further. The next handler, the system's, ends the process.
    return FALSE;
}

}  // namespace

void SignalsHeld::hold() {
    if (held_) return;
    held_ = true;
    if (holdDepth++ == 0) ::AcquireSRWLockExclusive(&heldLock);
}

void SignalsHeld::release() {
    if (!held_) return;
    held_ = false;
    if (--holdDepth == 0) ::ReleaseSRWLockExclusive(&heldLock);
}

SignalTakeover::SignalTakeover(const SignalActions& actions) {
    const SignalsHeld held;
    beforeEnding = actions.beforeEnding;
    ::SetConsoleCtrlHandler(actThenEnd, TRUE);
}

SignalTakeover::~SignalTakeover() {
    const SignalsHeld held;
    ::SetConsoleCtrlHandler(actThenEnd, FALSE);
    beforeEnding = nullptr;
}

// Windows has no file-size signal.
FileSizeLimitIsAnError::FileSizeLimitIsAnError() = default;
FileSizeLimitIsAnError::~FileSizeLimitIsAnError() = default;

}  // namespace common
