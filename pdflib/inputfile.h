// A read-only file for the probes: every read is checked against the file,
// a short read is reported as error 100 (as the probes' messages expect),
// and nothing is ever read outside the caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ovin {

inline constexpr int kShortRead = 100;

class inputfile {
public:
    inputfile() = default;
    ~inputfile();
    inputfile(const inputfile&) = delete;
    inputfile& operator=(const inputfile&) = delete;

    // 0 on success, else the errno value of the failed open.
    int open(const std::string& name);
    void close();
    bool isopen() const { return fd_ >= 0; }

    uint64_t size() const { return size_; }
    uint64_t position() const { return pos_; }

    // Moves the read position; false (error set) past the end of the file.
    bool seek(uint64_t pos);
    // Reads exactly n bytes; false with error() set when fewer are there.
    bool read(void* buffer, size_t n);
    // Reads up to n bytes; returns the count read (0 at the end or on error).
    size_t readsome(void* buffer, size_t n);
    // errno of the last failure, kShortRead for a short read, 0 for none.
    int error() const { return error_; }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t pos_ = 0;
    int error_ = 0;
};

// True when a file (not a directory) of that name exists.
bool fileexists(const std::string& name);

} // namespace ovin
