#include "outfile.h"

#include "fd.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ovin::imaging {

namespace {

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes and closes; the close result counts (a full disk may show there).
bool writeAndClose(UniqueFd fd, std::span<const uint8_t> bytes) {
    const bool written = writeAll(fd.get(), bytes);
    const int closed = ::close(fd.release());
    return written && closed == 0;
}

bool createNew(const char* name, std::span<const uint8_t> bytes) {
    UniqueFd fd(::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        return false;
    }
    if (!writeAndClose(std::move(fd), bytes)) {
        ::unlink(name);
        return false;
    }
    return true;
}

// Last resort when no file can be made beside the target (a name at the
// length limit): rewrite the regular file in place, never through a link.
bool rewriteInPlace(const char* name, std::span<const uint8_t> bytes) {
    UniqueFd fd(::open(name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        ::ftruncate(fd.get(), 0) != 0) {
        return false;
    }
    if (!writeAndClose(std::move(fd), bytes)) {
        ::unlink(name); // its old content is gone already; a partial file is worse
        return false;
    }
    return true;
}

bool replaceExisting(const char* name, const struct stat& old, std::span<const uint8_t> bytes) {
    std::string pattern = std::string(name) + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    UniqueFd fd(::mkostemp(buffer.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return errno == ENAMETOOLONG && rewriteInPlace(name, bytes);
    }
    const char* temp = buffer.data();
    ::fchmod(fd.get(), old.st_mode & 0777);
    if (!writeAndClose(std::move(fd), bytes) || ::rename(temp, name) != 0) {
        ::unlink(temp);
        return false;
    }
    return true;
}

} // namespace

bool writeFileSafely(const char* name, std::span<const uint8_t> bytes, bool overwrite) {
    if (name == nullptr || *name == '\0') {
        return false;
    }
    struct stat st {};
    if (::lstat(name, &st) != 0) {
        return errno == ENOENT && createNew(name, bytes);
    }
    if (!S_ISREG(st.st_mode) || !overwrite) {
        return false;
    }
    return replaceExisting(name, st, bytes);
}

} // namespace ovin::imaging
