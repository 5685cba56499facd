// What the tool reads from outside its command line: lists of image names
// (--from-file), and images that come through a pipe (standard input, a
// FIFO, a process substitution). The reads wait for
// data in short steps, so that a stop signal ends them even while nothing
// comes (a terminal, a pipe whose writer is slow).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ovincli {

class stopsignals;

// The names in the list file `list` ("-": standard input), one a line or,
// with `nul`, each ended by a NUL byte, as `find -print0` writes them.
// Names are taken as they are (spaces, leading dashes and all); empty ones
// are skipped. On failure returns nullopt and sets `error`, unless a stop
// signal ended the read (stops.received() then says which).
std::optional<std::vector<std::string>> readlist(const std::string& list, bool nul,
                                                 const stopsignals& stops, std::string& error);

// A file without a name holding what came through a pipe; closed (and so
// gone) when the object goes.
class unnamedcopy {
public:
    explicit unnamedcopy(int fd) : fd_(fd) {}
    unnamedcopy(unnamedcopy&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    unnamedcopy& operator=(unnamedcopy&&) = delete;
    unnamedcopy(const unnamedcopy&) = delete;
    ~unnamedcopy();
    int fd() const { return fd_; }

private:
    int fd_;
};

// Reads the FIFO `name` (standard input when empty) to its end into a file
// without a name (base/posixio.h). On failure returns nullopt and sets
// `error`, unless a stop signal ended the read.
std::optional<unnamedcopy> copypipe(const std::string& name, const stopsignals& stops,
                                    std::string& error);

} // namespace ovincli
