#include "fd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovin::imaging {

void UniqueFd::reset() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

UniqueFd openForReading(const char* name) {
    if (name == nullptr || *name == '\0') {
        return {};
    }
    // O_NONBLOCK keeps a FIFO from stalling the open; the type check below
    // then turns it away.
    UniqueFd fd(::open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        return {};
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return {};
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

int64_t fileSize(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

int64_t readAt(int fd, void* buffer, size_t n, uint64_t offset) {
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

bool readExactlyAt(int fd, void* buffer, size_t n, uint64_t offset) {
    return readAt(fd, buffer, n, offset) == static_cast<int64_t>(n);
}

bool writeAll(int fd, const void* buffer, size_t n) {
    const auto* in = static_cast<const unsigned char*>(buffer);
    size_t done = 0;
    while (done < n) {
        const ssize_t put = ::write(fd, in + done, n - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

bool writeAllAt(int fd, const void* buffer, size_t n, uint64_t offset) {
    const auto* in = static_cast<const unsigned char*>(buffer);
    size_t done = 0;
    while (done < n) {
        const ssize_t put = ::pwrite(fd, in + done, n - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

} // namespace ovin::imaging
