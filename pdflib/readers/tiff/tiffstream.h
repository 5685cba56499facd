// libtiff reading a TIFF from a byte source (a file, or memory in the fuzz
// targets), for the pages that must be decoded.
//
// Each stream is independent: its reads go through its own source, and
// libtiff's errors and warnings go to handlers registered with this handle
// only (nothing is printed, nothing process-wide is changed), so streams
// can be used on several threads at once. No single allocation inside
// libtiff exceeds the bound given when the stream is opened.
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

private:
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

    bytesource& source_;
    uint64_t position_ = 0;
    std::string error_;
    fault ioerror_;
    TIFF* tif_ = nullptr;
};

} // namespace ovin
