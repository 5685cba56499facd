// Where the probes read from: a byte source is a file or a block of memory
// (tests and fuzz targets). A bytereader walks a source with checked reads:
// every read is checked against the source's size, a short read is
// reported as error 100 (as the probes' messages expect), and nothing is
// ever read outside the caller's buffer.
#pragma once

#include "posixio.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace ovin {

inline constexpr int kShortRead = 100;

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
    // folder). A FIFO or device opens with size 0.
    int open(const std::string& name);
    uint64_t size() const override { return size_; }
    int64_t readat(uint64_t pos, void* buffer, size_t n, int& error) override;
    std::shared_ptr<const filedescriptor> file() const override { return regular_ ? fd_ : nullptr; }

private:
    std::shared_ptr<const filedescriptor> fd_;
    uint64_t size_ = 0;
    bool regular_ = false;
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

    // Moves the read position; false (error set) past the end.
    bool seek(uint64_t pos);
    // Reads exactly n bytes; false with error() set when fewer are there.
    bool read(void* buffer, size_t n);
    // errno of the last failure, kShortRead for a short read, 0 for none.
    int error() const { return error_; }

private:
    bytesource& source_;
    uint64_t pos_ = 0;
    int error_ = 0;
};

// True when a file (not a directory) of that name exists.
bool fileexists(const std::string& name);

} // namespace ovin
