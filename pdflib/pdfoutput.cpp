#include "pdfoutput.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovin {

namespace {

constexpr size_t kBufferSize = size_t{1} << 20;

mode_t currentumask() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

pdfoutput::~pdfoutput() {
    if (fd_ >= 0) {
        discard();
    }
}

int pdfoutput::open(const std::string& target, int64_t objcount) {
    offsets_.assign(static_cast<size_t>(objcount > 0 ? objcount : 0), 0);
    buffer_.reserve(kBufferSize);
    position_ = 0;
    error_ = 0;

    // A symbolic link is followed so that the file it names is replaced,
    // not the link.
    std::string real = target;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(target.c_str(), nullptr)) {
            real = resolved;
            std::free(resolved);
        }
    }
    if (::stat(real.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            return EISDIR;
        }
        // A device or pipe is written to as it is.
        fd_ = ::open(real.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) {
            return errno;
        }
        direct_ = true;
        target_ = writename_ = real;
        return 0;
    }

    size_t slash = real.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : real.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? real : real.substr(slash + 1);
    std::string templ = dir + "." + base + ".XXXXXX";
    fd_ = ::mkostemp(templ.data(), O_CLOEXEC);
    if (fd_ < 0) {
        return errno;
    }
    ::fchmod(fd_, 0666 & ~currentumask());
    direct_ = false;
    target_ = real;
    writename_ = templ;
    return 0;
}

void pdfoutput::writedirect(const char* data, size_t size) {
    while (size > 0 && error_ == 0) {
        ssize_t done = ::write(fd_, data, size);
        if (done < 0) {
            if (errno != EINTR) {
                error_ = errno;
            }
            continue;
        }
        if (done == 0) {
            error_ = EIO;
            break;
        }
        data += done;
        size -= static_cast<size_t>(done);
    }
}

void pdfoutput::flush() {
    if (!buffer_.empty()) {
        writedirect(buffer_.data(), buffer_.size());
        buffer_.clear();
    }
}

void pdfoutput::write(const void* data, size_t size) {
    if (fd_ < 0 || error_ != 0) {
        position_ += size;
        return;
    }
    const char* bytes = static_cast<const char*>(data);
    // Large blocks (image data) go to the file directly rather than through
    // the buffer: one copy less.
    const bool large = size >= kBufferSize / 8;
    if (large || buffer_.size() + size > kBufferSize) {
        flush();
    }
    if (large) {
        writedirect(bytes, size);
    } else {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
    }
    position_ += size;
}

void pdfoutput::writeline(std::string_view s) {
    write(s.data(), s.size());
    write("\r\n", 2);
}

void pdfoutput::beginobject(int64_t number) {
    if (number >= 1) {
        if (static_cast<size_t>(number) > offsets_.size()) {
            offsets_.resize(static_cast<size_t>(number), 0);
        }
        offsets_[static_cast<size_t>(number) - 1] = position_;
    }
    writeline(std::to_string(number) + " 0 obj");
}

void pdfoutput::closefd() {
    if (fd_ >= 0) {
        if (::close(fd_) != 0 && error_ == 0 && errno != EINTR) {
            error_ = errno;
        }
        fd_ = -1;
    }
}

int pdfoutput::commit() {
    flush();
    if (error_ == 0 && !direct_ && ::fsync(fd_) != 0) {
        error_ = errno;
    }
    closefd();
    if (error_ != 0) {
        return error_;
    }
    if (!direct_ && ::rename(writename_.c_str(), target_.c_str()) != 0) {
        error_ = errno;
        return error_;
    }
    return 0;
}

bool pdfoutput::discard() {
    buffer_.clear();
    closefd();
    if (direct_ || writename_.empty()) {
        return true;
    }
    return ::unlink(writename_.c_str()) == 0 || errno == ENOENT;
}

} // namespace ovin
