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
    for (size_t i = 0; i < kSignals.size(); ++i) {
        struct sigaction action {};
        action.sa_handler = kSignals[i] == SIGPIPE ? SIG_IGN : onstopsignal;
        sigemptyset(&action.sa_mask);
        // Interrupted reads and writes resume: the request is acted on
        // between pages and between files.
        action.sa_flags = SA_RESTART;
        ::sigaction(kSignals[i], &action, &previous_[i]);
    }
}

stopsignals::~stopsignals() {
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
