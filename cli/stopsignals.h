// Ctrl-C (SIGINT), SIGTERM and SIGHUP as a request to stop: the first one is
// recorded and the tool winds down on its own (the save is cancelled)
// instead of dying where it stands. SIGPIPE is
// ignored, so that a closed output pipe ends the save with an I/O error and
// the same clean-up. A stop signal that was ignored when the tool started
// stays ignored; one that was blocked is let through. One object at a time;
// the handlers and mask in place before are put back when it goes.
#pragma once

#include <array>
#include <csignal>

namespace ovincli {

class stopsignals {
public:
    stopsignals();
    ~stopsignals();
    stopsignals(const stopsignals&) = delete;
    stopsignals& operator=(const stopsignals&) = delete;

    // The first stop signal received, 0 while none came.
    int received() const;

    // The name of a stop signal ("SIGTERM").
    static const char* name(int signal);

private:
    static constexpr std::array<int, 4> kSignals = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    std::array<struct sigaction, kSignals.size()> previous_{};
    sigset_t previousmask_{};
};

} // namespace ovincli
