#include "posixio.h"

#include <cerrno>
#include <unistd.h>

namespace ovin {

int64_t readat(int fd, void* buffer, size_t n, uint64_t offset) {
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

filedescriptor::~filedescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool readallat(int fd, void* buffer, size_t n, uint64_t offset) {
    return readat(fd, buffer, n, offset) == static_cast<int64_t>(n);
}

namespace {

// Writes all n bytes through `write(bytes, count, done)`, which writes part
// of them `done` bytes into the whole and returns how many it wrote or -1.
template <typename Write> int writeloop(const void* data, size_t n, Write write) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    uint64_t written = 0;
    while (n > 0) {
        const ssize_t done = write(bytes, n, written);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (done == 0) {
            return EIO;
        }
        bytes += done;
        written += static_cast<uint64_t>(done);
        n -= static_cast<size_t>(done);
    }
    return 0;
}

} // namespace

int writeallat(int fd, const void* data, size_t n, uint64_t offset) {
    return writeloop(data, n, [&](const unsigned char* bytes, size_t count, uint64_t done) {
        return ::pwrite(fd, bytes, count, static_cast<off_t>(offset + done));
    });
}

int writeall(int fd, const void* data, size_t n) {
    return writeloop(data, n, [&](const unsigned char* bytes, size_t count, uint64_t) {
        return ::write(fd, bytes, count);
    });
}

} // namespace ovin
