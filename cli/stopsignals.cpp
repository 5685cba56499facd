#include "stopsignals.h"

namespace ovincli {

namespace {

// The handler can only reach a static; it is written once per run.
volatile std::sig_atomic_t stopsignal = 0;

extern "C" void onstopsignal(int signal) {
    if (stopsignal == 0) {
        stopsignal = signal;
    }
}

} // namespace

stopsignals::stopsignals() {
    stopsignal = 0;
    sigset_t caught;
    sigemptyset(&caught);
    for (size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], nullptr, &previous_[i]);
        // A stop signal ignored by whoever started the tool stays ignored
        // (nohup, a background job of a script).
        if (kSignals[i] != SIGPIPE && previous_[i].sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = kSignals[i] == SIGPIPE ? SIG_IGN : onstopsignal;
        sigemptyset(&action.sa_mask);
        // Interrupted reads and writes resume: the request is acted on
        // between pages and between files.
        action.sa_flags = SA_RESTART;
        ::sigaction(kSignals[i], &action, nullptr);
        sigaddset(&caught, kSignals[i]);
    }
    // A stop signal blocked by whoever started the tool would never arrive
    // (and one already pending arrives now).
    ::sigprocmask(SIG_UNBLOCK, &caught, &previousmask_);
}

stopsignals::~stopsignals() {
    ::sigprocmask(SIG_SETMASK, &previousmask_, nullptr);
    for (size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
}

int stopsignals::received() const {
    return stopsignal;
}

const char* stopsignals::name(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

} // namespace ovincli
