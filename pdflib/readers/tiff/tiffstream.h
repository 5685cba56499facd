// libtiff over the project's own I/O: reading a TIFF from a byte source (a
// file, or memory in the fuzz targets) for the pages that must be decoded,
// and writing a new TIFF to an open file descriptor (the imaging library's
// re-encoding) or into memory (Group 4 coding of the compression stage).
//
// Each stream is independent: its reads and writes go through its own
// source or sink, and libtiff's errors and warnings go to handlers
// registered with this handle only (nothing is printed, nothing
// process-wide is changed), so streams can be used on several threads at
// once. No single allocation inside libtiff exceeds the bound given.
#pragma once

#include "readers/bytesource.h"
#include "status.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

class tiffstream {
public:
    // Reads the header only; no directory is read before setdirectory.
    // isopen() is false when libtiff refused the header.
    tiffstream(bytesource& source, uint64_t maxalloc);
    // A new TIFF written to the open descriptor `fd`, which stays the
    // caller's.
    explicit tiffstream(int fd);
    // A new TIFF written into `memory`, which grows to at most `limit`
    // bytes: a write past them is refused (overflowed()).
    tiffstream(std::vector<uint8_t>& memory, uint64_t limit);
    ~tiffstream();
    tiffstream(const tiffstream&) = delete;
    tiffstream& operator=(const tiffstream&) = delete;

    bool isopen() const { return tif_ != nullptr; }
    TIFF* handle() const { return tif_; }
    // Reads the directory at that file offset.
    bool setdirectory(uint64_t offset);

    // libtiff's first error message since the stream was opened, or empty.
    const std::string& error() const { return error_; }
    // Why a read of the source failed (none while all went well): such a
    // failure is an I/O error rather than a damaged file.
    const fault& ioerror() const { return ioerror_; }
    // A write into memory went past its limit.
    bool overflowed() const { return overflowed_; }
    // Lets memory grow without a limit from now on (for what closing
    // writes, when it is not wanted anyway).
    void unlimit() { limit_ = UINT64_MAX; }

private:
    enum class medium : uint8_t { source, fd, memory };
    void open(const char* mode, uint64_t maxalloc);
    uint64_t size() const;

    static tmsize_t readproc(thandle_t self, void* buffer, tmsize_t size);
    static tmsize_t writeproc(thandle_t self, void* buffer, tmsize_t size);
    static toff_t seekproc(thandle_t self, toff_t offset, int whence);
    static int closeproc(thandle_t self);
    static toff_t sizeproc(thandle_t self);
    static int mapproc(thandle_t self, void** base, toff_t* size);
    static void unmapproc(thandle_t self, void* base, toff_t size);
    static int errorhandler(TIFF* tif, void* self, const char* module, const char* format,
                            va_list args);
    static int warninghandler(TIFF* tif, void* self, const char* module, const char* format,
                              va_list args);

    medium medium_;
    bytesource* source_ = nullptr;
    int fd_ = -1;
    std::vector<uint8_t>* memory_ = nullptr;
    uint64_t limit_ = UINT64_MAX;
    bool overflowed_ = false;
    uint64_t position_ = 0;
    std::string error_;
    fault ioerror_;
    TIFF* tif_ = nullptr;
};

} // namespace ovin
