#include "readers/tiff/tiffstream.h"

#include "byteorder.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

namespace ovin {

namespace {

struct optionsdeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

std::string formatmessage(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string message = module != nullptr && *module != '\0' ? std::string(module) + ": " : "";
    return message + text;
}

} // namespace

tiffstream::tiffstream(bytesource& source, uint64_t maxalloc) : source_(source) {
    const std::unique_ptr<TIFFOpenOptions, optionsdeleter> options(TIFFOpenOptionsAlloc());
    if (!options) {
        error_ = "out of memory";
        return;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), errorhandler, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), warninghandler, this);
    TIFFOpenOptionsSetMaxSingleMemAlloc(
        options.get(),
        static_cast<tmsize_t>(std::min<uint64_t>(maxalloc, std::numeric_limits<tmsize_t>::max())));
    // r: read; h: the header only, the caller chooses the directory; c: no
    // splitting of large uncompressed strips, so strips are the file's own;
    // m: no memory mapping (the source is not a file descriptor).
    tif_ = TIFFClientOpenExt("TIFF", "rhcm", this, readproc, writeproc, seekproc, closeproc,
                             sizeproc, mapproc, unmapproc, options.get());
}

tiffstream::~tiffstream() {
    if (tif_ != nullptr) {
        TIFFClose(tif_);
    }
}

bool tiffstream::setdirectory(uint64_t offset) {
    return tif_ != nullptr && TIFFSetSubDirectory(tif_, offset) != 0;
}

tmsize_t tiffstream::readproc(thandle_t self, void* buffer, tmsize_t size) {
    auto* stream = static_cast<tiffstream*>(self);
    if (size <= 0) {
        return 0;
    }
    int error = 0;
    const int64_t got =
        stream->source_.readat(stream->position_, buffer, static_cast<size_t>(size), error);
    if (got < 0) {
        stream->ioerror_ = fault::system(error);
        return -1;
    }
    stream->position_ += static_cast<uint64_t>(got);
    return static_cast<tmsize_t>(got);
}

tmsize_t tiffstream::writeproc(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t tiffstream::seekproc(thandle_t self, toff_t offset, int whence) {
    auto* stream = static_cast<tiffstream*>(self);
    uint64_t base = 0;
    switch (whence) {
    case SEEK_SET:
        break;
    case SEEK_CUR:
        base = stream->position_;
        break;
    case SEEK_END:
        base = stream->source_.size();
        break;
    default:
        return static_cast<toff_t>(-1);
    }
    // Relative moves back arrive as wrapped unsigned values, so the sum
    // wraps back into range; anything past 2^62 is nonsense.
    const uint64_t target = base + offset;
    if (target > (uint64_t{1} << 62)) {
        return static_cast<toff_t>(-1);
    }
    stream->position_ = target;
    return target;
}

int tiffstream::closeproc(thandle_t) {
    return 0; // the source belongs to the caller
}

toff_t tiffstream::sizeproc(thandle_t self) {
    return static_cast<tiffstream*>(self)->source_.size();
}

int tiffstream::mapproc(thandle_t, void**, toff_t*) {
    return 0;
}

void tiffstream::unmapproc(thandle_t, void*, toff_t) {}

int tiffstream::errorhandler(TIFF*, void* self, const char* module, const char* format,
                             va_list args) {
    auto* stream = static_cast<tiffstream*>(self);
    if (stream->error_.empty()) {
        stream->error_ = formatmessage(module, format, args);
    }
    return 1; // handled: libtiff's process-wide handler is not called
}

int tiffstream::warninghandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1; // warnings change nothing the reader does
}

} // namespace ovin
