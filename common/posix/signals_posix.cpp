#include <pthread.h>
#include <signal.h>

#include <cerrno>

#include "common/signals.h"

namespace common {
namespace {

// Changed only with every signal held.
SignalActions active;
struct sigaction before[NSIG];
bool taken[NSIG];
struct sigaction fileSizeBefore;
thread_local int fileSizeDepth = 0;

thread_local int holdDepth = 0;
thread_local sigset_t maskBeforeHold;

enum class Default { Ends, Fault, Stops, Continues, Other };

Default defaultOf(int signalNumber) {
    switch (signalNumber) {
        case SIGTSTP: case SIGTTIN: case SIGTTOU:
            return Default::Stops;
        case SIGCONT:
            return Default::Continues;
        // Ignored by default, or beyond catching.
        case SIGCHLD: case SIGURG: case SIGWINCH: case SIGKILL: case SIGSTOP:
            return Default::Other;
        case SIGSEGV: case SIGBUS: case SIGFPE: case SIGILL: case SIGABRT: case SIGTRAP: case SIGSYS:
            return Default::Fault;
        default:  // every other default action ends the program
            return Default::Ends;
    }
}

using Handler = void (*)(int);

// Every handler runs with all signals held; SA_RESTART resumes a read that
// a stop and continue interrupted.
void handleWith(int signalNumber, Handler handler) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    ::sigfillset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
}

void endAfterActions(int signalNumber) {
    if (active.beforeEnding != nullptr) active.beforeEnding();
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);  // held until the handler returns, then it ends the program
}

void stopAfterActions(int signalNumber) {
    const int savedErrno = errno;
    active.beforeStopping();
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
    sigset_t stop;
    ::sigemptyset(&stop);
    ::sigaddset(&stop, signalNumber);
    ::pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);  // stopped here until continued
    handleWith(signalNumber, stopAfterActions);
    // The kernel drops the stop of an orphaned process group (a program that
    // leads its own session): it goes on at once and no SIGCONT comes. Taken
    // again here, whether it stopped or not.
    if (active.afterContinuing != nullptr) active.afterContinuing();
    errno = savedErrno;
}

void continueWithActions(int /*signalNumber*/) {
    const int savedErrno = errno;
    active.afterContinuing();
    errno = savedErrno;
}

Handler handlerFor(int signalNumber, const SignalActions& actions) {
    switch (defaultOf(signalNumber)) {
        case Default::Ends: return endAfterActions;
        case Default::Fault: return actions.onFaultsToo ? endAfterActions : nullptr;
        case Default::Stops: return actions.beforeStopping != nullptr ? stopAfterActions : nullptr;
        case Default::Continues: return actions.afterContinuing != nullptr ? continueWithActions : nullptr;
        case Default::Other: break;
    }
    return nullptr;
}

}  // namespace

void SignalsHeld::hold() {
    if (held_) return;
    held_ = true;
    if (holdDepth++ > 0) return;
    sigset_t all;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &maskBeforeHold);
}

void SignalsHeld::release() {
    if (!held_) return;
    held_ = false;
    if (--holdDepth > 0) return;
    ::pthread_sigmask(SIG_SETMASK, &maskBeforeHold, nullptr);
}

SignalTakeover::SignalTakeover(const SignalActions& actions) {
    const SignalsHeld held;
    active = actions;
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        const Handler handler = handlerFor(signalNumber, actions);
        taken[signalNumber] = handler != nullptr && ::sigaction(signalNumber, nullptr, &before[signalNumber]) == 0 &&
                              before[signalNumber].sa_handler == SIG_DFL;
        if (taken[signalNumber]) handleWith(signalNumber, handler);
    }
}

SignalTakeover::~SignalTakeover() {
    const SignalsHeld held;
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        if (taken[signalNumber]) ::sigaction(signalNumber, &before[signalNumber], nullptr);
        taken[signalNumber] = false;
    }
    active = {};
}

// Nested, the outermost one puts the signal's action back.
FileSizeLimitIsAnError::FileSizeLimitIsAnError() {
    if (fileSizeDepth++ > 0) return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &fileSizeBefore);
}

FileSizeLimitIsAnError::~FileSizeLimitIsAnError() {
    if (--fileSizeDepth == 0) ::sigaction(SIGXFSZ, &fileSizeBefore, nullptr);
}

}  // namespace common
