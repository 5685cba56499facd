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

bool readallat(int fd, void* buffer, size_t n, uint64_t offset) {
    return readat(fd, buffer, n, offset) == static_cast<int64_t>(n);
}

int writeallat(int fd, const void* data, size_t n, uint64_t offset) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const ssize_t done = ::pwrite(fd, bytes, n, static_cast<off_t>(offset));
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
        offset += static_cast<uint64_t>(done);
        n -= static_cast<size_t>(done);
    }
    return 0;
}

int writeall(int fd, const void* data, size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const ssize_t done = ::write(fd, bytes, n);
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
        n -= static_cast<size_t>(done);
    }
    return 0;
}

} // namespace ovin
