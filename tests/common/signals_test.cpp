#include "common/signals.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

namespace {

int reportTo = -1;  // the pipe the child's actions write to

void say(const char* text) {
    const ssize_t written = ::write(reportTo, text, 1);
    static_cast<void>(written);  // a lost byte fails the comparison
}

void sayEnding() { say("x"); }

struct Outcome {
    std::string said;  // what the actions and the child wrote
    int signal = 0;    // the signal that ended the child, or 0
};

// Runs `body` in a child process and tells how it ended.
template <typename Body>
Outcome inChild(Body body) {
    int ends[2];
    if (::pipe(ends) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        reportTo = ends[1];
        body();
        ::_exit(0);
    }
    ::close(ends[1]);
    Outcome outcome;
    char byte = 0;
    while (::read(ends[0], &byte, 1) == 1) outcome.said += byte;
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    return outcome;
}

// A signal that ends the program runs the action first and then ends it as
// the signal would; one the program ignores, a fault (unless asked for), a
// hold, and the end of the takeover each leave the signal alone.
TEST(SignalTakeover, ActsThenEndsAsTheSignalWould) {
    const common::SignalActions actions{sayEnding, false, nullptr, nullptr};
    const common::SignalActions withFaults{sayEnding, true, nullptr, nullptr};
    struct Case {
        const char* what;
        void (*body)();
        Outcome expected;
    };
    static common::SignalActions chosen;
    const Case cases[] = {
        {"SIGTERM", [] { common::SignalTakeover taken(chosen); ::raise(SIGTERM); }, {"x", SIGTERM}},
        {"SIGHUP", [] { common::SignalTakeover taken(chosen); ::raise(SIGHUP); }, {"x", SIGHUP}},
        {"SIGUSR1", [] { common::SignalTakeover taken(chosen); ::raise(SIGUSR1); }, {"x", SIGUSR1}},
        {"ignored SIGINT",
         [] {
             ::signal(SIGINT, SIG_IGN);
             common::SignalTakeover taken(chosen);
             ::raise(SIGINT);
         },
         {"", 0}},
        {"a fault", [] { common::SignalTakeover taken(chosen); ::raise(SIGABRT); }, {"", SIGABRT}},
        {"after the takeover", [] { { common::SignalTakeover taken(chosen); } ::raise(SIGTERM); }, {"", SIGTERM}},
        {"held, and nested holds",
         [] {
             common::SignalTakeover taken(chosen);
             common::SignalsHeld outer;
             {
                 common::SignalsHeld inner;
                 ::raise(SIGTERM);
             }
             say("h");  // still held here
             outer.release();
         },
         {"hx", SIGTERM}},
    };
    for (const Case& c : cases) {
        chosen = actions;
        const Outcome outcome = inChild(c.body);
        EXPECT_EQ(outcome.said, c.expected.said) << c.what;
        EXPECT_EQ(outcome.signal, c.expected.signal) << c.what;
    }
    chosen = withFaults;
    const Outcome fault = inChild(cases[4].body);
    EXPECT_EQ(fault.said, "x");
    EXPECT_EQ(fault.signal, SIGABRT);
}

}  // namespace
