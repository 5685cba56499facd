// A program run in a child process, for tests that signal it, kill it or
// watch the files it has open while it runs.
//
//     ovintest::childsetup setup;
//     setup.env = {"XDG_RUNTIME_DIR=" + dir.file("run")};
//     setup.log = dir.file("log");           // standard output and error
//     ovintest::childprocess child({tool, "a.tif", "-o", "a.pdf"}, setup);
//     ovintest::waitfor([&] { return child.writtenfilesize(dir.path()) > 0; });
//     child.signal(SIGTERM);
//     int status = child.wait();             // as from waitpid
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ovintest {

struct childsetup {
    std::vector<std::string> env;     // "NAME=value", added to or replacing the test's own
    std::string cwd;                  // empty: the test's working folder
    std::string log;                  // file for standard output and error; empty: /dev/null
    std::function<void()> beforeexec; // runs in the child just before exec
};

class childprocess {
public:
    // Starts argv[0] (a path) with the arguments that follow.
    explicit childprocess(const std::vector<std::string>& argv, const childsetup& setup = {});
    // A child still running is killed and reaped.
    ~childprocess();
    childprocess(const childprocess&) = delete;
    childprocess& operator=(const childprocess&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int sig) const;
    // Waits for the end; the status as waitpid gives it.
    int wait();
    // The most memory the child had resident at once, in kilobytes, once
    // it has ended.
    long peakkilobytes() const { return peakkb_; }
    // The size of the largest file that the child has open for writing in
    // `folder` (named or not); -1 when none.
    long long writtenfilesize(const std::filesystem::path& folder) const;

private:
    pid_t pid_ = -1;
    int status_ = 0;
    long peakkb_ = 0;
    bool reaped_ = false;
};

// Polls `done` every millisecond until it holds; false when `limit` passed
// first.
bool waitfor(const std::function<bool()>& done,
             std::chrono::milliseconds limit = std::chrono::seconds(30));

// "exit N" or "killed by signal N", for messages.
std::string describestatus(int status);

// The names in a folder, sorted.
std::vector<std::string> folderlisting(const std::filesystem::path& folder);

} // namespace ovintest
