#include "inputfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovin {

inputfile::~inputfile() {
    close();
}

int inputfile::open(const std::string& name) {
    close();
    error_ = 0;
    // O_NONBLOCK: opening a FIFO must not wait for a writer. It changes
    // nothing for regular files.
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return error_ = errno;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error_ = errno;
        ::close(fd);
        return error_;
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return error_ = EISDIR;
    }
    fd_ = fd;
    size_ = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    pos_ = 0;
    return 0;
}

void inputfile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool inputfile::seek(uint64_t pos) {
    if (fd_ < 0 || pos > size_) {
        error_ = kShortRead;
        return false;
    }
    pos_ = pos;
    return true;
}

size_t inputfile::readsome(void* buffer, size_t n) {
    if (fd_ < 0) {
        error_ = EBADF;
        return 0;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < n) {
        ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(pos_ + done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            error_ = errno;
            break;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    pos_ += done;
    return done;
}

bool inputfile::read(void* buffer, size_t n) {
    if (fd_ < 0) {
        error_ = EBADF;
        return false;
    }
    if (pos_ > size_ || n > size_ - pos_) {
        // Never ask for more than the file holds: a short read is an error.
        error_ = kShortRead;
        return false;
    }
    error_ = 0;
    if (readsome(buffer, n) != n) {
        if (error_ == 0) {
            error_ = kShortRead;
        }
        return false;
    }
    return true;
}

bool fileexists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace ovin
