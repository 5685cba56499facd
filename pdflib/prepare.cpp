#include "prepare.h"

#include "bmpinfo.h"
#include "inputfile.h"
#include "jpeginfo.h"
#include "textutil.h"
#include "tiffinfo.h"

#include <algorithm>
#include <cerrno>
#include <limits>

namespace ovin {

namespace {

constexpr int64_t kMaxPagePoints = 14400; // 200 inches

int32_t tosigned(uint32_t v) {
    return static_cast<int32_t>(std::min<uint32_t>(v, std::numeric_limits<int32_t>::max()));
}

int32_t ioerror(librarystate& state, int code) {
    state.errorarg = std::to_string(code);
    return -5;
}

// A probe that reported an error: a failed read is an I/O error with its
// code, anything else an image error with the probe's text.
template <typename Probe> int32_t probefailure(librarystate& state, const Probe& probe) {
    if (probe.ioerror != 0) {
        return ioerror(state, probe.ioerror);
    }
    state.errorarg = probe.geterrortext();
    return -6;
}

int32_t probetiff(librarystate& state, const std::string& name, uint16_t page, imgdata& record,
                  imagedata data, probecache* cache) {
    tiffinfo probe;
    probe.readdata = data == imagedata::read;
    if (cache != nullptr && cache->tifffile == name) {
        probe.knowndirectories = &cache->directories;
    }
    probe.usebuffer(record.data);
    probe.readfile(name, page);
    if (cache != nullptr && !probe.directories.empty()) {
        cache->tifffile = name;
        cache->directories = std::move(probe.directories);
    }
    if (probe.haserror()) {
        return probefailure(state, probe);
    }
    record.width = tosigned(probe.width);
    record.height = tosigned(probe.height);
    record.xdpi = static_cast<uint16_t>(probe.xres & 0xFFFF);
    record.ydpi = static_cast<uint16_t>(probe.yres & 0xFFFF);
    record.pagesinfile = probe.pagecount;
    record.compression = probe.compression;
    record.bits = probe.bitspersample();
    record.photometric = probe.getphotometric();
    record.samples = probe.samplesperpixel;
    record.t4options = probe.t4options;
    record.palette.clear();
    const size_t entries = probe.colormap.size() / 3;
    if (record.photometric == 3 && entries > 0) {
        record.palette.reserve(entries * 3);
        for (size_t k = 0; k < entries; ++k) {
            for (size_t channel = 0; channel < 3; ++channel) {
                record.palette.push_back(
                    static_cast<uint8_t>(probe.colormap[channel * entries + k] >> 8));
            }
        }
    }
    record.datalen = probe.datasize();
    probe.takedata(record.data);
    // One strip holds the whole page; a page whose samples are stored plane
    // by plane is re-encoded too, since readers expect them interleaved.
    record.passthrough = int64_t{probe.rowsperstrip} >= int64_t{probe.height} &&
                         !(probe.planarconfig == 2 && probe.samplesperpixel > 1);
    return 0;
}

int32_t probejpeg(librarystate& state, Ui& ui, const std::string& name, imgdata& record,
                  imagedata data) {
    jpeginfo probe;
    if (!probe.readfile(name)) {
        if (probe.ioerror != 0) {
            return ioerror(state, probe.ioerror);
        }
        if (probe.showmessage) {
            ui.message(probe.errortext);
        }
        state.errorarg = probe.errortext;
        return -6;
    }
    record.width = tosigned(probe.width);
    record.height = tosigned(probe.height);
    record.xdpi = probe.xdensity;
    record.ydpi = probe.ydensity;
    record.pagesinfile = 1;
    record.compression = 6;
    record.bits = probe.components;
    record.samples = probe.components;
    record.adobeinverted = probe.adobe && probe.components == 4;
    if (probe.filesize < 0 || probe.filesize > std::numeric_limits<uint32_t>::max()) {
        return ioerror(state, EFBIG);
    }
    record.datalen = static_cast<uint32_t>(probe.filesize);
    record.passthrough = true;
    if (data == imagedata::skip) {
        record.data.clear();
        return 0;
    }
    inputfile file;
    if (int err = file.open(name)) {
        return ioerror(state, err);
    }
    if (file.size() != record.datalen) {
        return ioerror(state, kShortRead); // the file changed under us
    }
    record.data.resize(record.datalen);
    if (!file.read(record.data.data(), record.datalen)) {
        return ioerror(state, file.error());
    }
    return 0;
}

int32_t probebmp(librarystate& state, const std::string& name, imgdata& record, imagedata data) {
    bmpinfo probe;
    probe.readdata = data == imagedata::read;
    probe.readfile(name);
    if (probe.haserror()) {
        return probefailure(state, probe);
    }
    record.width = tosigned(probe.width);
    record.height = tosigned(probe.height);
    record.xdpi = static_cast<uint16_t>(probe.xdpi & 0xFFFF);
    record.ydpi = static_cast<uint16_t>(probe.ydpi & 0xFFFF);
    record.pagesinfile = 1;
    record.compression = 1;
    record.bits = probe.bitcount == 24 ? 8 : probe.bitcount;
    record.samples = record.bits == 8 ? 3 : 1;
    record.palette.clear();
    if (probe.bitcount == 1) {
        record.palette.assign(probe.palette1.begin(), probe.palette1.end());
    }
    record.datalen = probe.readdata ? probe.datasize : 0;
    record.data.resize(record.datalen);
    probe.copypixels(record.data.data());
    record.passthrough = true;
    return 0;
}

void checkresolution(librarystate& state, const std::string& name, uint16_t& dpi, int32_t fallback,
                     const char* direction) {
    if (dpi == 0) {
        const int32_t value = fallback > 0 ? fallback : 200;
        dpi = static_cast<uint16_t>(value);
        state.addwarning("WARNING : zero dpi (" + std::string(direction) + ") found in file " +
                         name + " (defaulting to " + std::to_string(value) + " dpi)");
    } else if (dpi < 200) {
        state.addwarning("WARNING : " + std::to_string(dpi) + " dpi (" + direction +
                         ") found in file " + name);
    }
}

} // namespace

pointsize pagepoints(const imgdata& record) {
    return {roundeven(static_cast<long double>(record.width) / record.xdpi * 72),
            roundeven(static_cast<long double>(record.height) / record.ydpi * 72)};
}

int32_t probeimage(librarystate& state, Ui& ui, const std::string& name, uint16_t page,
                   imgdata& record, imagedata data, probecache* cache) {
    if (name != state.tempimgpath) {
        record.ext = upperextension(name);
    }
    int32_t result = 0;
    if (record.ext == ".TIF") {
        result = probetiff(state, name, page, record, data, cache);
    } else if (record.ext == ".JPG") {
        result = probejpeg(state, ui, name, record, data);
    } else if (record.ext == ".BMP") {
        result = probebmp(state, name, record, data);
    } else {
        state.errorarg = name;
        return -3;
    }
    if (result != 0) {
        return result;
    }
    // A re-encoded page keeps the size and resolution of its source page,
    // which were checked (and warned about) when the source was probed; the
    // temporary file must not add warnings of its own under its own name.
    if (name == state.tempimgpath) {
        return 0;
    }

    checkresolution(state, name, record.xdpi, state.defaultxdpi, "horizontal");
    checkresolution(state, name, record.ydpi, state.defaultydpi, "vertical");

    // A page without pixels (a JPEG without a frame header, say) would be
    // an empty, broken page in every reader.
    if (record.width <= 0 || record.height <= 0) {
        state.errorarg = "Image has no width or height - file " + name;
        return -6;
    }
    const auto [w, h] = pagepoints(record);
    if (w > kMaxPagePoints) {
        state.errorarg = "Image width too big - file " + name;
        return -6;
    }
    if (h > kMaxPagePoints) {
        state.errorarg = "Image height too big - file " + name;
        return -6;
    }
    return 0;
}

} // namespace ovin
