#include "inputs.h"

#include "posixio.h"
#include "quote.h"
#include "stopsignals.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string_view>
#include <unistd.h>

namespace ovincli {

namespace {

constexpr int kWaitMs = 100; // how long a read waits before it looks for a stop signal

// An open file descriptor, closed when the object goes.
class descriptor {
public:
    explicit descriptor(int fd) : fd_(fd) {}
    ~descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;
    int get() const { return fd_; }
    // Closes it now, for the error a close can report on a written file.
    int close() {
        const int r = ::close(fd_);
        fd_ = -1;
        return r;
    }

private:
    int fd_;
};

std::string reason(int error) {
    return std::strerror(error);
}

// Reads `fd` to its end and hands each block to `take`, which may refuse it
// (returning false). False on a read error (errno kept), a refusal or a
// stop signal.
bool readall(int fd, const stopsignals& stops, const std::function<bool(std::string_view)>& take) {
    std::array<char, 65536> buffer{};
    for (;;) {
        if (stops.received() != 0) {
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kWaitMs);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!take(std::string_view(buffer.data(), static_cast<size_t>(got)))) {
            return false;
        }
    }
}

} // namespace

std::optional<std::vector<std::string>> readlist(const std::string& list, bool nul,
                                                 const stopsignals& stops, std::string& error) {
    const bool standard = list == "-";
    const std::string shown =
        standard ? "the list on standard input" : "the list " + ovin::quotename(list);
    descriptor file(standard ? -1 : ::open(list.c_str(), O_RDONLY | O_CLOEXEC));
    if (!standard && file.get() < 0) {
        error = "cannot read " + shown + ": " + reason(errno);
        return std::nullopt;
    }
    const char separator = nul ? '\0' : '\n';
    std::vector<std::string> names;
    std::string name;
    size_t line = 1;
    bool stray = false; // a NUL byte in a list of lines
    const bool complete =
        readall(standard ? STDIN_FILENO : file.get(), stops, [&](std::string_view block) {
            for (const char c : block) {
                if (c == separator) {
                    // Lines written on Windows end in CR LF.
                    if (!nul && !name.empty() && name.back() == '\r') {
                        name.pop_back();
                    }
                    if (!name.empty()) {
                        names.push_back(std::move(name));
                    }
                    name.clear();
                    ++line;
                } else if (c == '\0') {
                    stray = true;
                    return false;
                } else {
                    name.push_back(c);
                }
            }
            return true;
        });
    if (stray) {
        error = shown + " has a NUL byte in line " + std::to_string(line) +
                "; read lists of NUL-ended names with -0 (--null)";
        return std::nullopt;
    }
    if (!complete) {
        if (stops.received() == 0) {
            error = "cannot read " + shown + ": " + reason(errno);
        }
        return std::nullopt;
    }
    if (!nul && !name.empty() && name.back() == '\r') {
        name.pop_back();
    }
    if (!name.empty()) {
        names.push_back(std::move(name)); // the last name without its end
    }
    return names;
}

unnamedcopy::~unnamedcopy() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::optional<unnamedcopy> copypipe(const std::string& name, const stopsignals& stops,
                                    std::string& error) {
    const bool standard = name.empty();
    const std::string shown = standard ? "standard input" : ovin::quotename(name);
    // Not blocking: the wait for a FIFO's writer and for its data goes in
    // short steps, between which a stop signal is seen.
    descriptor pipe(standard ? -1 : ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!standard && pipe.get() < 0) {
        error = "cannot read " + shown + ": " + reason(errno);
        return std::nullopt;
    }
    unnamedcopy copy(ovin::makeunnamedfile());
    if (copy.fd() < 0) {
        error = "cannot make a file for the image on " + shown + ": " + reason(errno);
        return std::nullopt;
    }
    bool written = true;
    const bool complete =
        readall(standard ? STDIN_FILENO : pipe.get(), stops, [&](std::string_view block) {
            written = ovin::writeall(copy.fd(), block.data(), block.size()) == 0;
            return written;
        });
    if (!complete) {
        if (!written) {
            error = "cannot keep the image on " + shown + ": " + reason(errno);
        } else if (stops.received() == 0) {
            error = "cannot read " + shown + ": " + reason(errno);
        }
        return std::nullopt;
    }
    return copy;
}

} // namespace ovincli
