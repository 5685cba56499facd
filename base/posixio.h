// Reads and writes on POSIX file descriptors that retry interrupted and
// partial transfers, so that callers see either all the bytes or an error.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ovin {

// Reads up to n bytes at offset. Returns the count read, which is less
// than n only at the end of the file, or -1 with errno set.
int64_t readat(int fd, void* buffer, size_t n, uint64_t offset);

// Reads exactly n bytes at offset; false when fewer are there or the read
// fails.
bool readallat(int fd, void* buffer, size_t n, uint64_t offset);

// Writes all n bytes at the current position, or at offset. 0 on success,
// else the errno value (EIO when the file takes no more bytes).
int writeall(int fd, const void* data, size_t n);
int writeallat(int fd, const void* data, size_t n, uint64_t offset);

// A new file without a name, readable and writable by its owner only, for
// bytes that must be read more than once but come from a pipe: O_TMPFILE in
// $TMPDIR (else /tmp), or a memory file where that cannot be made. Nothing
// of it is left when the process ends, however it ends. The descriptor, or
// -1 with errno set.
int makeunnamedfile();

// Copies what `from` holds to its end into `to`; 0 or the errno of the read
// or write that failed.
int copytoend(int from, int to);

// An open file descriptor, closed when the object goes; shared by whoever
// still needs to read the file (a page whose data is copied from it when
// the page is written).
class filedescriptor {
public:
    explicit filedescriptor(int fd) : fd_(fd) {}
    ~filedescriptor();
    filedescriptor(const filedescriptor&) = delete;
    filedescriptor& operator=(const filedescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace ovin
