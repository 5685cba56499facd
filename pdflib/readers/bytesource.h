// Where the readers read from: a byte source is a file or a block of memory
// (tests and fuzz targets). A bytereader walks a source with checked reads:
// every read is checked against the source's size, a read past its end is
// the fault "truncated", and nothing is ever read outside the caller's
// buffer.
#pragma once

#include "posixio.h"
#include "status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ovin {

class bytesource {
public:
    virtual ~bytesource() = default;
    virtual uint64_t size() const = 0;
    // Reads up to n bytes at pos into buffer. Returns the count read (less
    // than n only at the end), or -1 with the errno value in `error`.
    virtual int64_t readat(uint64_t pos, void* buffer, size_t n, int& error) = 0;
    // The open regular file behind the source, for a page whose stored
    // bytes are copied from it when written; null when there is none.
    virtual std::shared_ptr<const filedescriptor> file() const { return nullptr; }
};

// A file opened read-only by name.
class filesource final : public bytesource {
public:
    filesource() = default;

    // 0 on success, else the errno value of the failed open (EISDIR for a
    // folder). A FIFO or device opens with size 0 (without waiting for a
    // FIFO's writer).
    int open(const std::string& name);
    // Takes an open descriptor, the same way; it is closed with the source.
    int adopt(int fd);
    uint64_t size() const override { return size_; }
    int64_t readat(uint64_t pos, void* buffer, size_t n, int& error) override;
    std::shared_ptr<const filedescriptor> file() const override { return regular_ ? fd_ : nullptr; }
    bool regular() const { return regular_; }
    // A FIFO or pipe: its bytes can be read once only, to their end.
    bool pipe() const { return pipe_; }
    int descriptor() const { return fd_ ? fd_->get() : -1; }

private:
    // The headers and directories that readers walk lie close together:
    // small reads are served from one block of the file read at a time.
    static constexpr size_t kWindow = 4096;
    // A file's first bytes (its signature and header) are read again for
    // every page of a multi-page file: they are kept apart from the window.
    static constexpr size_t kHead = 64;

    std::shared_ptr<const filedescriptor> fd_;
    uint64_t size_ = 0;
    bool regular_ = false;
    bool pipe_ = false;
    std::unique_ptr<uint8_t[]> window_; // the file's bytes from windowat_ on
    size_t windowsize_ = 0;
    uint64_t windowat_ = 0;
    std::array<uint8_t, kHead> head_{};
    size_t headsize_ = 0;
};

// Bytes held by the caller, which keeps them alive while the source is read.
class memorysource final : public bytesource {
public:
    explicit memorysource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    int64_t readat(uint64_t pos, void* buffer, size_t n, int& error) override;

private:
    std::span<const uint8_t> bytes_;
};

class bytereader {
public:
    explicit bytereader(bytesource& source) : source_(source) {}

    uint64_t size() const { return source_.size(); }
    uint64_t position() const { return pos_; }

    // Moves the read position; false (why() set) past the end.
    bool seek(uint64_t pos);
    // Reads exactly n bytes; false with why() set when fewer are there.
    bool read(void* buffer, size_t n);
    // Why the last read or seek failed: the system's error, or truncated
    // when the source ends before the bytes asked for.
    const fault& why() const { return why_; }

private:
    bytesource& source_;
    uint64_t pos_ = 0;
    fault why_;
};

// The failure of a read that `reader` could not make.
inline status readfailure(const bytereader& reader) {
    return status::failed(reader.why());
}

// True when a file (not a directory) of that name exists.
bool fileexists(const std::string& name);

} // namespace ovin
