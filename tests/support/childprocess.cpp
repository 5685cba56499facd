#include "childprocess.h"

#include "pdftools.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace ovintest {

childprocess::childprocess(const std::vector<std::string>& argv, const childsetup& setup) {
    // Everything the child needs is made before fork: between fork and exec
    // it only calls what is safe there (and the caller's hook).
    std::vector<std::string> env = setup.env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        std::string name = entry.substr(0, entry.find('=') + 1);
        if (std::none_of(setup.env.begin(), setup.env.end(),
                         [&](const std::string& s) { return s.starts_with(name); })) {
            env.push_back(std::move(entry));
        }
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    const std::string log = setup.log.empty() ? "/dev/null" : setup.log;

    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0 || ::dup2(fd, STDERR_FILENO) < 0 ||
            (!setup.cwd.empty() && ::chdir(setup.cwd.c_str()) != 0)) {
            std::_Exit(126);
        }
        if (setup.beforeexec) {
            setup.beforeexec();
        }
        ::execve(args[0], args.data(), envp.data());
        std::_Exit(127);
    }
}

childprocess::~childprocess() {
    if (!reaped_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        wait();
    }
}

void childprocess::signal(int sig) const {
    ::kill(pid_, sig);
}

int childprocess::wait() {
    while (!reaped_) {
        rusage usage{};
        if (::wait4(pid_, &status_, 0, &usage) == pid_) {
            peakkb_ = usage.ru_maxrss;
            reaped_ = true;
        } else if (errno != EINTR) {
            throw std::runtime_error("waitpid failed");
        }
    }
    return status_;
}

long long childprocess::writtenfilesize(const std::filesystem::path& folder) const {
    long long largest = -1;
    std::error_code ec;
    // The kernel names open files by their real path.
    const std::string prefix = std::filesystem::weakly_canonical(folder, ec).string() + "/";
    const std::string proc = "/proc/" + std::to_string(pid_);
    for (const auto& fd : std::filesystem::directory_iterator(proc + "/fd", ec)) {
        std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        std::string info = readbytes(proc + "/fdinfo/" + fd.path().filename().string());
        size_t flags = info.find("flags:");
        struct stat st {};
        if (!ec && target.starts_with(prefix) && flags != std::string::npos &&
            (std::strtoul(info.c_str() + flags + 6, nullptr, 8) & O_ACCMODE) != O_RDONLY &&
            ::stat(fd.path().c_str(), &st) == 0) {
            largest = std::max(largest, static_cast<long long>(st.st_size));
        }
    }
    return largest;
}

bool waitfor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string describestatus(int status) {
    if (WIFEXITED(status)) {
        return "exit " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return "killed by signal " + std::to_string(WTERMSIG(status));
    }
    return "status " + std::to_string(status);
}

std::vector<std::string> folderlisting(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace ovintest
