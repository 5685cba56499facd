#include "pdf/pdfoutput.h"

#include "posixio.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ovin {

namespace {

constexpr size_t kBufferSize = size_t{1} << 20;
constexpr int kNameAttempts = 100;
// Writing back every 1 MB keeps the disk busy from the start without a
// system call per small page.
constexpr uint64_t kWritebackStep = uint64_t{1} << 20;

// The folder part of a path ("" or ending in '/') and its last name.
std::pair<std::string, std::string> splitpath(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {std::string(), path};
    }
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// What marks a file as a PDF still being written under a temporary name,
// before its six random letters.
constexpr std::string_view kPartialMark = ".ovinpdf-part.";
constexpr size_t kRandomLetters = 6;

// A fresh temporary name beside the target: ".NAME.ovinpdf-part.xxxxxx", or
// ".ovinpdf-part.xxxxxx" when the target's name is too long to take the
// additions (a target name as long as the folder allows must still work).
std::string temporaryname(const std::string& dir, const std::string& base) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    long limit = ::pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
    if (limit <= 0) {
        limit = NAME_MAX;
    }
    std::string name = "." + base + std::string(kPartialMark);
    if (name.size() + kRandomLetters > static_cast<size_t>(limit)) {
        name = kPartialMark;
    }
    std::random_device random;
    for (size_t i = 0; i < kRandomLetters; ++i) {
        name.push_back(kLetters[random() % (sizeof kLetters - 1)]);
    }
    return dir + name;
}

// Takes a write lock on the open file, held for as long as it is open (the
// lock goes with the descriptor, so also with a killed process): a partial
// file that nobody holds is a leftover. False when someone holds it, or the
// file system takes no locks.
bool lockpartial(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Removes the partial files in `dir` that runs killed while writing them
// left: the project's own names, owned by this user, untouched for a
// while and locked by nobody. Where the file system has no locks, nothing
// is removed.
void removeleftovers(const std::string& dir) {
    constexpr time_t kQuietSeconds = 60;
    DIR* folder = ::opendir(dir.empty() ? "." : dir.c_str());
    if (folder == nullptr) {
        return;
    }
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name(entry->d_name);
        if (name.size() < kPartialMark.size() + kRandomLetters || name.front() != '.' ||
            name.substr(name.size() - kRandomLetters - kPartialMark.size(), kPartialMark.size()) !=
                kPartialMark) {
            continue;
        }
        struct stat st {};
        if (::fstatat(::dirfd(folder), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || now - st.st_mtime < kQuietSeconds) {
            continue;
        }
        const int fd = ::openat(::dirfd(folder), entry->d_name,
                                O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (lockpartial(fd)) {
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(folder);
}

// The file a path names once its symbolic links are followed, whether that
// file exists or not: the PDF is written through a link, never in its
// place, so that a link to a file still to be made works like one to a file
// that is there. 0 or errno (ELOOP for a chain of links without end).
int followlinks(const std::string& path, std::string& real) {
    constexpr int kMostLinks = 40; // as the kernel allows
    real = path;
    for (int hops = 0; hops < kMostLinks; ++hops) {
        struct stat st {};
        if (::lstat(real.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return 0;
        }
        std::string to(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
        const ssize_t n = ::readlink(real.c_str(), to.data(), to.size());
        if (n < 0) {
            return errno;
        }
        if (static_cast<size_t>(n) >= to.size()) {
            return ENAMETOOLONG; // the link changed while it was read
        }
        to.resize(static_cast<size_t>(n));
        real = to.starts_with('/') ? to : splitpath(real).first + to;
    }
    return ELOOP;
}

// Gives the file open at fd the name `name`; 0 or errno (EEXIST when the
// name is taken).
int linkname(int fd, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return 0;
    }
    int err = errno;
    if (err == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
        // Without /proc only a process allowed to search any folder may
        // link a file by its descriptor.
        if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) {
            return 0;
        }
        err = errno;
    }
    return err;
}

// Gives the new file what the file it replaces had: the permission bits,
// the group where this process may set it, and the owner when it may give
// files away (root). Done before any data is written. When the group
// cannot be kept, this process's group gets none of the old group's rights.
// Should fchmod fail, the file stays owner-only: the safe side.
void keepattributes(int fd, const struct stat& old) {
    mode_t bits = old.st_mode & 0777;
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        bits &= ~static_cast<mode_t>(S_IRWXG);
    }
    ::fchmod(fd, bits);
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
    writeback_ = 0;
    error_ = 0;
    kind_ = kind::none;
    replacing_ = false;
    writename_.clear();

    std::string real;
    if (const int err = followlinks(target, real)) {
        return err;
    }
    struct stat st {};
    const bool exists = ::stat(real.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            return EISDIR;
        }
        fd_ = ::open(real.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) {
            return errno;
        }
        kind_ = kind::direct;
        target_ = writename_ = real;
        return 0;
    }

    target_ = real;
    replacing_ = exists;
    auto [dir, base] = splitpath(real);
    // A new file gets 0666 less the umask, applied by the kernel. A file
    // that replaces another one starts owner-only and gets the old file's
    // bits below, so nobody can open it in between with wider rights.
    const mode_t mode = replacing_ ? 0600 : 0666;
    fd_ = ::open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd_ >= 0) {
        kind_ = kind::unnamed;
        writename_ = real;
        lockpartial(fd_);
    } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
        // No unnamed files on this file system (or kernel).
        if (int err = opennamed(dir, base)) {
            return err;
        }
    } else {
        return errno;
    }
    if (replacing_) {
        keepattributes(fd_, st);
    }
    return 0;
}

int pdfoutput::openfd(int fd, const std::string& name, int64_t objcount) {
    offsets_.assign(static_cast<size_t>(objcount > 0 ? objcount : 0), 0);
    buffer_.reserve(kBufferSize);
    position_ = 0;
    writeback_ = 0;
    error_ = 0;
    replacing_ = false;
    fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) {
        return errno;
    }
    kind_ = kind::direct;
    target_ = writename_ = name;
    return 0;
}

int pdfoutput::opennamed(const std::string& dir, const std::string& base) {
    removeleftovers(dir);
    const mode_t mode = replacing_ ? 0600 : 0666;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = temporaryname(dir, base);
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd_ >= 0) {
            lockpartial(fd_);
            kind_ = kind::named;
            writename_ = std::move(name);
            return 0;
        }
        if (errno != EEXIST) {
            return errno;
        }
    }
    return EEXIST;
}

// Links the complete unnamed file in. A new target gets its name in one
// step; an existing one is replaced by linking a temporary name first and
// renaming it over the target, so that readers only ever see the old file
// or the new one. Only a process killed between link and rename leaves the
// temporary name behind.
int pdfoutput::linkintoplace() {
    if (!replacing_) {
        int err = linkname(fd_, target_);
        if (err != EEXIST) {
            return err;
        }
        // Someone created the target meanwhile: replace it.
    }
    auto [dir, base] = splitpath(target_);
    removeleftovers(dir);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = temporaryname(dir, base);
        int err = linkname(fd_, name);
        if (err == EEXIST) {
            continue;
        }
        if (err != 0) {
            return err;
        }
        if (::rename(name.c_str(), target_.c_str()) != 0) {
            err = errno;
            ::unlink(name.c_str());
            return err;
        }
        return 0;
    }
    return EEXIST;
}

void pdfoutput::writedirect(const char* data, size_t size) {
    if (error_ == 0) {
        error_ = writeall(fd_, data, size);
    }
}

// Starts writing what is in the page cache to the disk while the document
// goes on, so that the sync at the end waits only for the last part. Only
// a hint: its failure changes nothing, the sync reports any error.
void pdfoutput::startwriteback() {
    if (kind_ == kind::direct) {
        return;
    }
    const uint64_t written = position_ - buffer_.size();
    if (written - writeback_ >= kWritebackStep) {
        ::sync_file_range(fd_, static_cast<off64_t>(writeback_),
                          static_cast<off64_t>(written - writeback_), SYNC_FILE_RANGE_WRITE);
        writeback_ = written;
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
    if (large) {
        startwriteback();
    }
}

// Copies what the kernel will copy; false when it refuses these files (a
// pipe, two file systems it cannot copy between, an old kernel), with
// `offset` and `left` telling what is still to copy.
bool pdfoutput::kernelcopy(int from, uint64_t& offset, uint64_t& left) {
    if (!kernelcopies_ || kind_ == kind::direct) {
        return false;
    }
    while (left > 0) {
        auto at = static_cast<off64_t>(offset);
        const ssize_t done =
            ::copy_file_range(from, &at, fd_, nullptr, std::min<uint64_t>(left, 1 << 30), 0);
        if (done > 0) {
            offset += static_cast<uint64_t>(done);
            left -= static_cast<uint64_t>(done);
            continue;
        }
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS &&
            errno != EOPNOTSUPP && errno != EBADF) {
            error_ = errno;
            return true;
        }
        // Refused, or nothing copied where bytes should be (some file
        // systems say 0 rather than refuse): the reads below tell which.
        kernelcopies_ = done < 0 ? false : kernelcopies_;
        return false;
    }
    return true;
}

void pdfoutput::copy(int from, uint64_t offset, uint64_t length) {
    if (fd_ < 0 || error_ != 0) {
        position_ += length;
        return;
    }
    flush();
    position_ += length;
    uint64_t left = length;
    if (kernelcopy(from, offset, left) || error_ != 0) {
        startwriteback();
        return;
    }
    std::vector<char> chunk(static_cast<size_t>(std::min<uint64_t>(left, kBufferSize)));
    while (left > 0 && error_ == 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
        const int64_t got = readat(from, chunk.data(), want, offset);
        if (got <= 0) {
            // The file is shorter than when it was read, or unreadable.
            error_ = got < 0 ? errno : EIO;
            return;
        }
        writedirect(chunk.data(), static_cast<size_t>(got));
        offset += static_cast<uint64_t>(got);
        left -= static_cast<uint64_t>(got);
    }
    startwriteback();
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
    if (error_ == 0 && kind_ != kind::direct && ::fsync(fd_) != 0) {
        error_ = errno;
    }
    if (error_ == 0 && kind_ == kind::unnamed) {
        error_ = linkintoplace();
    }
    // Renamed while still open and locked, so that no other run takes it
    // for the leftover of a killed one.
    if (error_ == 0 && kind_ == kind::named && ::rename(writename_.c_str(), target_.c_str()) != 0) {
        error_ = errno;
    }
    closefd();
    return error_;
}

bool pdfoutput::discard() {
    buffer_.clear();
    closefd();
    // An unnamed file vanishes with its descriptor.
    if (kind_ != kind::named) {
        return true;
    }
    return ::unlink(writename_.c_str()) == 0 || errno == ENOENT;
}

} // namespace ovin
