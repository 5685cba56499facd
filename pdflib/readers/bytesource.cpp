#include "readers/bytesource.h"

#include "posixio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovin {

int filesource::open(const std::string& name) {
    fd_.reset();
    size_ = 0;
    regular_ = pipe_ = false;
    // O_NONBLOCK: opening a FIFO must not wait for a writer. It changes
    // nothing for regular files.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno;
    }
    return adopt(fd);
}

int filesource::adopt(int fd) {
    fd_.reset();
    windowsize_ = 0;
    windowat_ = 0;
    headsize_ = 0;
    size_ = 0;
    regular_ = pipe_ = false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return EISDIR;
    }
    try {
        fd_ = std::make_shared<const filedescriptor>(fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
    regular_ = S_ISREG(st.st_mode);
    pipe_ = S_ISFIFO(st.st_mode);
    size_ = regular_ ? static_cast<uint64_t>(st.st_size) : 0;
    return 0;
}

int64_t filesource::readat(uint64_t pos, void* buffer, size_t n, int& error) {
    if (!fd_) {
        error = EBADF;
        return -1;
    }
    if (n == 0) {
        return 0;
    }
    if (pos + n <= headsize_) {
        std::memcpy(buffer, head_.data() + pos, n);
        return static_cast<int64_t>(n);
    }
    const auto inwindow = [&] { return pos >= windowat_ && pos - windowat_ + n <= windowsize_; };
    if (n <= kWindow / 2 && !inwindow()) {
        // The block around the bytes asked for, once; a regular file's is
        // cut at its size, which spares the read that would find its end.
        if (!window_) {
            window_ = std::make_unique_for_overwrite<uint8_t[]>(2 * kWindow);
        }
        const uint64_t at = pos / kWindow * kWindow;
        const size_t want =
            regular_
                ? static_cast<size_t>(std::min<uint64_t>(2 * kWindow, size_ - std::min(size_, at)))
                : 2 * kWindow;
        const int64_t got = want == 0 ? 0 : ovin::readat(fd_->get(), window_.get(), want, at);
        windowsize_ = got < 0 ? 0 : static_cast<size_t>(got);
        windowat_ = at;
        if (at == 0) {
            headsize_ = std::min(windowsize_, kHead);
            std::memcpy(head_.data(), window_.get(), headsize_);
        }
    }
    if (inwindow()) {
        std::memcpy(buffer, window_.get() + (pos - windowat_), n);
        return static_cast<int64_t>(n);
    }
    const int64_t got = ovin::readat(fd_->get(), buffer, n, pos);
    if (got < 0) {
        error = errno;
    }
    return got;
}

int64_t memorysource::readat(uint64_t pos, void* buffer, size_t n, int&) {
    if (n == 0 || pos >= bytes_.size()) {
        return 0;
    }
    const size_t count = std::min<uint64_t>(n, bytes_.size() - pos);
    std::memcpy(buffer, bytes_.data() + pos, count);
    return static_cast<int64_t>(count);
}

bool bytereader::seek(uint64_t pos) {
    if (pos > source_.size()) {
        why_ = fault::truncated();
        return false;
    }
    pos_ = pos;
    return true;
}

bool bytereader::read(void* buffer, size_t n) {
    const uint64_t size = source_.size();
    if (pos_ > size || n > size - pos_) {
        // Never ask for more than the source holds: a short read is an error.
        why_ = fault::truncated();
        return false;
    }
    why_ = {};
    int error = 0;
    const int64_t got = source_.readat(pos_, buffer, n, error);
    if (got < 0) {
        why_ = fault::system(error != 0 ? error : EIO);
        return false;
    }
    pos_ += static_cast<uint64_t>(got);
    if (static_cast<size_t>(got) != n) {
        why_ = fault::truncated(); // the file shrank since it was measured
        return false;
    }
    return true;
}

bool fileexists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace ovin
