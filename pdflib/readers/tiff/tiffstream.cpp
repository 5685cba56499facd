#include "readers/tiff/tiffstream.h"

#include "readers/tiff/libtiff.h"

#include "posixio.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <sys/stat.h>

namespace ovin {

namespace {

// No stream is larger than this: anything past it is a wrapped offset.
constexpr uint64_t kMaxStreamBytes = uint64_t{1} << 62;

// The largest allocation libtiff may make inside a stream that writes: a
// page's strip buffer.
constexpr uint64_t kMaxWriteAlloc = uint64_t{1} << 31;

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

tiffstream::tiffstream(bytesource& source, uint64_t maxalloc)
    : medium_(medium::source), source_(&source) {
    // r: read; h: the header only, the caller chooses the directory; c: no
    // splitting of large uncompressed strips, so strips are the file's own;
    // m: no memory mapping (the source is not a file descriptor).
    open("rhcm", maxalloc);
}

tiffstream::tiffstream(int fd) : medium_(medium::fd), fd_(fd) {
    open("w", kMaxWriteAlloc);
}

tiffstream::tiffstream(std::vector<uint8_t>& memory, uint64_t limit)
    : medium_(medium::memory), memory_(&memory), limit_(limit) {
    memory.clear();
    open("wm", kMaxWriteAlloc);
}

void tiffstream::open(const char* mode, uint64_t maxalloc) {
    if (const std::string& problem = libtiffproblem(); !problem.empty()) {
        error_ = problem;
        return;
    }
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
    tif_ = TIFFClientOpenExt("TIFF", mode, this, readproc, writeproc, seekproc, closeproc, sizeproc,
                             mapproc, unmapproc, options.get());
}

tiffstream::~tiffstream() {
    if (tif_ != nullptr) {
        TIFFClose(tif_);
    }
}

bool tiffstream::setdirectory(uint64_t offset) {
    return tif_ != nullptr && TIFFSetSubDirectory(tif_, offset) != 0;
}

uint64_t tiffstream::size() const {
    switch (medium_) {
    case medium::source:
        return source_->size();
    case medium::memory:
        return memory_->size();
    case medium::fd: {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    }
    }
    return 0;
}

tmsize_t tiffstream::readproc(thandle_t self, void* buffer, tmsize_t size) {
    auto* stream = static_cast<tiffstream*>(self);
    if (size <= 0) {
        return 0;
    }
    const auto n = static_cast<size_t>(size);
    int error = 0;
    int64_t got = 0;
    switch (stream->medium_) {
    case medium::source:
        got = stream->source_->readat(stream->position_, buffer, n, error);
        break;
    case medium::fd:
        got = readat(stream->fd_, buffer, n, stream->position_);
        error = errno;
        break;
    case medium::memory: {
        const std::vector<uint8_t>& bytes = *stream->memory_;
        const uint64_t at = std::min<uint64_t>(stream->position_, bytes.size());
        got = static_cast<int64_t>(std::min<uint64_t>(n, bytes.size() - at));
        std::memcpy(buffer, bytes.data() + at, static_cast<size_t>(got));
        break;
    }
    }
    if (got < 0) {
        stream->ioerror_ = fault::system(error);
        return -1;
    }
    stream->position_ += static_cast<uint64_t>(got);
    return static_cast<tmsize_t>(got);
}

tmsize_t tiffstream::writeproc(thandle_t self, void* buffer, tmsize_t size) {
    auto* stream = static_cast<tiffstream*>(self);
    if (size < 0 || stream->medium_ == medium::source) {
        return -1;
    }
    const auto n = static_cast<uint64_t>(size);
    const uint64_t end = stream->position_ + n;
    if (stream->medium_ == medium::fd) {
        if (end > kMaxStreamBytes ||
            writeallat(stream->fd_, buffer, static_cast<size_t>(n), stream->position_) != 0) {
            return -1;
        }
    } else {
        std::vector<uint8_t>& bytes = *stream->memory_;
        if (n > stream->limit_ || stream->position_ > stream->limit_ - n) {
            stream->overflowed_ = true;
            return -1;
        }
        if (end > bytes.size()) {
            bytes.resize(static_cast<size_t>(end));
        }
        std::memcpy(bytes.data() + stream->position_, buffer, static_cast<size_t>(n));
    }
    stream->position_ = end;
    return size;
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
        base = stream->size();
        break;
    default:
        return static_cast<toff_t>(-1);
    }
    // Relative moves back arrive as wrapped unsigned values, so the sum
    // wraps back into range.
    const uint64_t target = base + offset;
    if (target > kMaxStreamBytes) {
        return static_cast<toff_t>(-1);
    }
    stream->position_ = target;
    return target;
}

int tiffstream::closeproc(thandle_t) {
    return 0; // the source, descriptor or memory belongs to the caller
}

toff_t tiffstream::sizeproc(thandle_t self) {
    return static_cast<tiffstream*>(self)->size();
}

int tiffstream::mapproc(thandle_t, void**, toff_t*) {
    return 0;
}

void tiffstream::unmapproc(thandle_t, void*, toff_t) {}

int tiffstream::errorhandler(TIFF*, void* self, const char* module, const char* format,
                             va_list args) {
    auto* stream = static_cast<tiffstream*>(self);
    // Nothing may be thrown through libtiff's C frames: a message that
    // cannot be kept for want of memory is dropped.
    try {
        if (stream->error_.empty()) {
            stream->error_ = formatmessage(module, format, args);
        }
    } catch (...) {
        stream->error_.clear();
    }
    return 1; // handled: libtiff's process-wide handler is not called
}

int tiffstream::warninghandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1; // warnings change nothing the reader does
}

} // namespace ovin
