// The fuzz input as a file the code under test can open by name: an
// in-memory file (memfd) reached through /proc/self/fd.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

class memoryfile {
public:
    memoryfile(const uint8_t* data, size_t size) : fd_(::memfd_create("fuzz", MFD_CLOEXEC)) {
        if (fd_ < 0) {
            std::abort();
        }
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0) {
                std::abort();
            }
            done += static_cast<size_t>(n);
        }
    }
    ~memoryfile() { ::close(fd_); }
    memoryfile(const memoryfile&) = delete;
    memoryfile& operator=(const memoryfile&) = delete;
    std::string name() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};
