// The one takeover of the signals that would end or stop the program while
// it holds something that must not be left half done: a terminal in another
// mode (a key wait, a passphrase typed without echo), or a file being saved.
// On Windows the console's Ctrl+C, Ctrl+Break and close events stand for the
// signals that end the program; nothing there stops it.
#pragma once

namespace common {

// Every signal held back (on Windows: the console's events wait) while held,
// so that a handler never sees a terminal or a file half changed. Holds nest
// within a thread; the outermost one lets the signals through again.
class SignalsHeld {
public:
    SignalsHeld() { hold(); }
    ~SignalsHeld() { release(); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

    void hold();
    void release();

private:
    bool held_ = false;
};

// What the program does when a signal comes. Each action must be
// async-signal-safe: it runs in the handler, with every signal held.
struct SignalActions {
    // Restores or cleans up; then the program ends as the signal would have
    // ended it.
    void (*beforeEnding)() = nullptr;
    // Also for the program's own faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
    // SIGABRT, SIGTRAP, SIGSYS). Left out where nothing the program holds
    // can be trusted then, such as names of files to remove.
    bool onFaultsToo = false;
    // Ctrl+Z and the other stop signals: the terminal handed back while the
    // program is stopped, and taken again once it goes on (also after a
    // stop that cannot be caught, or one the kernel drops in an orphaned
    // process group). Without them, stops are left alone.
    void (*beforeStopping)() = nullptr;
    void (*afterContinuing)() = nullptr;
};

// Takes over, for its lifetime, every signal whose action is the default
// that ends (or, with the stop actions, stops) the program. A signal the
// program ignores or handles itself is left as it is. One takeover at a time.
class SignalTakeover {
public:
    explicit SignalTakeover(const SignalActions& actions);
    ~SignalTakeover();
    SignalTakeover(const SignalTakeover&) = delete;
    SignalTakeover& operator=(const SignalTakeover&) = delete;
};

// For its lifetime, passing the file-size limit (ulimit -f) fails a write
// like a full disk instead of ending the program.
class FileSizeLimitIsAnError {
public:
    FileSizeLimitIsAnError();
    ~FileSizeLimitIsAnError();
    FileSizeLimitIsAnError(const FileSizeLimitIsAnError&) = delete;
    FileSizeLimitIsAnError& operator=(const FileSizeLimitIsAnError&) = delete;
};

}  // namespace common
