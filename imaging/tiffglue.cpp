#include "tiffglue.h"

#include "fd.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ovin::imaging {

namespace {

// Files larger than this are not handled.
constexpr uint64_t kMaxStreamBytes = uint64_t{1} << 40;

// Called from inside libtiff: nothing may be thrown through its C frames,
// so a message that cannot be kept for want of memory is dropped.
void keep(std::string& slot, const char* module, const char* fmt, va_list ap) noexcept {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    try {
        slot = std::string(module ? module : "") + ": " + text;
    } catch (...) {
        slot.clear();
    }
}

int keepError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    keep(static_cast<LibtiffMessages*>(user)->lastError, module, fmt, ap);
    return 1; // handled: nothing reaches the process-wide handlers
}

int keepWarning(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    keep(static_cast<LibtiffMessages*>(user)->lastWarning, module, fmt, ap);
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
    const int64_t got = readat(s->fd, buf, static_cast<size_t>(size), s->position);
    if (got < 0) {
        return -1;
    }
    s->position += static_cast<uint64_t>(got);
    return static_cast<tmsize_t>(got);
}

tmsize_t fileWrite(thandle_t h, void* buf, tmsize_t size) {
    auto* s = static_cast<TiffFileStream*>(h);
    if (!s->writable || size < 0 || s->position + static_cast<uint64_t>(size) > kMaxStreamBytes ||
        writeallat(s->fd, buf, static_cast<size_t>(size), s->position) != 0) {
        return -1;
    }
    s->position += static_cast<uint64_t>(size);
    return size;
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

} // namespace ovin::imaging
