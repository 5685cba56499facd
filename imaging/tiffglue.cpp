#include "tiffglue.h"

#include "fd.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ovin::imaging {

namespace {

// Files and buffers larger than this are not handled.
constexpr uint64_t kMaxStreamBytes = uint64_t{1} << 40;

int keepError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    auto* messages = static_cast<LibtiffMessages*>(user);
    messages->lastError = std::string(module ? module : "") + ": " + text;
    return 1; // handled: nothing reaches the process-wide handlers
}

int keepWarning(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    auto* messages = static_cast<LibtiffMessages*>(user);
    messages->lastWarning = std::string(module ? module : "") + ": " + text;
    return 1;
}

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

std::unique_ptr<TIFFOpenOptions, OptionsDeleter> quietOptions(LibtiffMessages& messages) {
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (options) {
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), keepError, &messages);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), keepWarning, &messages);
        // No single allocation inside libtiff may exceed what a page may hold.
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(1) << 31);
    }
    return options;
}

toff_t seekTo(uint64_t& position, uint64_t size, toff_t offset, int whence) {
    uint64_t base = 0;
    switch (whence) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = position;
        break;
    case SEEK_END:
        base = size;
        break;
    default:
        return static_cast<toff_t>(-1);
    }
    // libtiff passes negative relative offsets as wrapped unsigned values.
    const uint64_t target = base + offset;
    if (target > kMaxStreamBytes) {
        return static_cast<toff_t>(-1);
    }
    position = target;
    return position;
}

// File stream procedures.
tmsize_t fileRead(thandle_t h, void* buf, tmsize_t size) {
    auto* s = static_cast<TiffFileStream*>(h);
    if (size <= 0) {
        return 0;
    }
    const int64_t got = readAt(s->fd, buf, static_cast<size_t>(size), s->position);
    if (got < 0) {
        return -1;
    }
    s->position += static_cast<uint64_t>(got);
    return static_cast<tmsize_t>(got);
}

tmsize_t fileWrite(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t fileSeek(thandle_t h, toff_t offset, int whence) {
    auto* s = static_cast<TiffFileStream*>(h);
    const int64_t size = fileSize(s->fd);
    return seekTo(s->position, size < 0 ? 0 : static_cast<uint64_t>(size), offset, whence);
}

int fileClose(thandle_t) {
    return 0;
} // the descriptor belongs to the caller

toff_t fileSizeProc(thandle_t h) {
    const int64_t size = fileSize(static_cast<TiffFileStream*>(h)->fd);
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

// Memory stream procedures.
tmsize_t memRead(thandle_t h, void* buf, tmsize_t size) {
    auto* s = static_cast<TiffMemoryStream*>(h);
    if (size <= 0 || s->position >= s->bytes.size()) {
        return 0;
    }
    const auto n = std::min<uint64_t>(static_cast<uint64_t>(size), s->bytes.size() - s->position);
    std::memcpy(buf, s->bytes.data() + s->position, static_cast<size_t>(n));
    s->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t memWrite(thandle_t h, void* buf, tmsize_t size) {
    auto* s = static_cast<TiffMemoryStream*>(h);
    if (size <= 0) {
        return 0;
    }
    const uint64_t end = s->position + static_cast<uint64_t>(size);
    if (end > kMaxStreamBytes || end > s->bytes.max_size()) {
        return -1;
    }
    if (end > s->bytes.size()) {
        s->bytes.resize(static_cast<size_t>(end));
    }
    std::memcpy(s->bytes.data() + s->position, buf, static_cast<size_t>(size));
    s->position = end;
    return size;
}

toff_t memSeek(thandle_t h, toff_t offset, int whence) {
    auto* s = static_cast<TiffMemoryStream*>(h);
    return seekTo(s->position, s->bytes.size(), offset, whence);
}

int memClose(thandle_t) {
    return 0;
}

toff_t memSize(thandle_t h) {
    return static_cast<TiffMemoryStream*>(h)->bytes.size();
}

int noMap(thandle_t, void**, toff_t*) {
    return 0;
}
void noUnmap(thandle_t, void*, toff_t) {}

} // namespace

TiffPtr openTiffStream(TiffFileStream& stream, const char* mode, LibtiffMessages& messages) {
    auto options = quietOptions(messages);
    if (!options) {
        return nullptr;
    }
    return TiffPtr(TIFFClientOpenExt("image", mode, &stream, fileRead, fileWrite, fileSeek,
                                     fileClose, fileSizeProc, noMap, noUnmap, options.get()));
}

TiffPtr openTiffStream(TiffMemoryStream& stream, const char* mode, LibtiffMessages& messages) {
    auto options = quietOptions(messages);
    if (!options) {
        return nullptr;
    }
    return TiffPtr(TIFFClientOpenExt("image", mode, &stream, memRead, memWrite, memSeek, memClose,
                                     memSize, noMap, noUnmap, options.get()));
}

} // namespace ovin::imaging
