#include "posixio.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
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

int makeunnamedfile() {
    const char* dir = std::getenv("TMPDIR");
    const std::string folder = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    return ::memfd_create("ovinpdf-input", MFD_CLOEXEC);
}

int copytoend(int from, int to) {
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        if (const int error = writeall(to, buffer.data(), static_cast<size_t>(got)); error != 0) {
            return error;
        }
    }
}

} // namespace ovin
