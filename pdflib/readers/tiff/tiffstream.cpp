#include "readers/tiff/tiffstream.h"

#include "byteorder.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <unordered_set>

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

status tiffdirectories(bytesource& source, const std::string& name,
                       std::vector<uint64_t>& offsets) {
    offsets.clear();
    const uint64_t size = source.size();
    bytereader reader(source);
    uint8_t header[16] = {};
    if (size < 8 || !reader.read(header, 8)) {
        return reader.why().kind == faultkind::system
                   ? readfailure(reader)
                   : status(OVINPDF_IMAGE_ERROR, "TIFF file " + name + " is too short");
    }
    const bool big = header[0] == 'M' && header[1] == 'M';
    if (!big && !(header[0] == 'I' && header[1] == 'I')) {
        return {OVINPDF_IMAGE_ERROR, "TIFF file " + name + " has no byte order mark"};
    }
    const uint16_t magic = get16(header + 2, big);
    const bool bigtiff = magic == 43;
    if (magic != 42 && !bigtiff) {
        return {OVINPDF_IMAGE_ERROR, "TIFF file " + name + " has the version number " +
                                         std::to_string(magic) + ", not 42 or 43"};
    }
    uint64_t next = get32(header + 4, big);
    if (bigtiff) {
        // Offset size 8, a reserved 0, then the first directory's offset.
        if (!reader.read(header + 8, 8) || get16(header + 4, big) != 8) {
            return {OVINPDF_IMAGE_ERROR, "TIFF file " + name + " has a damaged BigTIFF header"};
        }
        next = get64(header + 8, big);
    }
    // A directory: its entry count, the entries and the next offset.
    const uint64_t countsize = bigtiff ? 8 : 2;
    const uint64_t entrysize = bigtiff ? 20 : 12;
    const uint64_t linksize = bigtiff ? 8 : 4;
    std::unordered_set<uint64_t> seen;
    while (next != 0 && !seen.contains(next)) {
        uint8_t field[8] = {};
        if (next > size || size - next < countsize + linksize || !reader.seek(next) ||
            !reader.read(field, countsize)) {
            break;
        }
        const uint64_t count = bigtiff ? get64(field, big) : get16(field, big);
        if (count == 0 || count > (size - next - countsize - linksize) / entrysize) {
            break; // no entries, or more than the file holds
        }
        seen.insert(next);
        offsets.push_back(next);
        if (!reader.seek(next + countsize + count * entrysize) || !reader.read(field, linksize)) {
            break;
        }
        next = bigtiff ? get64(field, big) : get32(field, big);
    }
    if (reader.why().kind == faultkind::system) {
        return readfailure(reader);
    }
    if (offsets.empty()) {
        return {OVINPDF_IMAGE_ERROR, "TIFF file " + name + " has no image directory"};
    }
    return {};
}

} // namespace ovin
