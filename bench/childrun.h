// Runs a piece of work in a child process, so that a figure covers the work
// alone: its wall time, its peak resident memory (getrusage ru_maxrss of the
// child, which starts with what the benchmark process holds when it forks)
// and whether it succeeded.
#pragma once

#include <chrono>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ovinbench {

struct outcome {
    double seconds = 0;
    long peakkb = 0;
    bool ok = false;
};

template <typename Work> outcome inchild(Work work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        std::_Exit(work() ? 0 : 1);
    }
    int status = 0;
    struct rusage usage {};
    outcome o;
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child) {
        return o;
    }
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    o.peakkb = usage.ru_maxrss;
    o.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return o;
}

} // namespace ovinbench
