// WebP pages. The whole file is read into memory (libwebp's demuxer and
// decoders work on one buffer) after its RIFF header has been checked
// against the file's size; the demuxer then checks the chunk layout and
// gives the canvas, the frames and the ICCP and EXIF chunks. A still image
// is decoded straight into the page; an animation goes through libwebp's
// animation decoder, which composes each frame on the canvas (blending and
// disposal) as viewers do, and which is kept between pages read in order.
#include "readers/webp.h"

#include "byteorder.h"
#include "readers/decoded.h"
#include "readers/exif.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>

namespace ovin {

namespace {

// The pixels of all pages together: more would be an absurd document.
constexpr uint64_t kMaxPagePixels = uint64_t{1} << 34;
constexpr uint32_t kMaxProfile = 8 << 20;

status refuse(const std::string& name, const std::string& why) {
    return {OVINPDF_IMAGE_ERROR, "WebP file " + name + ": " + why};
}

struct demuxdeleter {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct animdeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};
using demuxhandle = std::unique_ptr<WebPDemuxer, demuxdeleter>;
using animhandle = std::unique_ptr<WebPAnimDecoder, animdeleter>;

// The file's bytes and what the demuxer found in them.
struct webpfile {
    std::vector<uint8_t> bytes;
    demuxhandle demux;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frames = 0;
    bool animated = false;
    bool alpha = false;
    bool lossy = false;
    std::vector<uint8_t> icc;
    exiffacts exif;
};

// An animation being decoded: the file and the decoder, `done` frames on.
struct webpstate final : readerstate {
    const bytesource* source = nullptr;
    webpfile file;
    animhandle decoder;
    uint32_t done = 0;
};

std::span<const uint8_t> chunk(WebPDemuxer* demux, const char* fourcc) {
    WebPChunkIterator it;
    std::span<const uint8_t> body;
    if (WebPDemuxGetChunk(demux, fourcc, 1, &it) != 0) {
        body = {it.chunk.bytes, it.chunk.size};
    }
    WebPDemuxReleaseChunkIterator(&it);
    return body;
}

status openfile(bytesource& source, const std::string& name, webpfile& file) {
    bytereader reader(source);
    uint8_t head[12];
    if (reader.size() < sizeof head) {
        return refuse(name, "the file is truncated (no RIFF header)");
    }
    if (!reader.read(head, sizeof head)) {
        return readfailure(reader);
    }
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WEBP", 4) != 0) {
        return refuse(name, "no RIFF WEBP header");
    }
    const uint64_t declared = uint64_t{le32(head + 4)} + 8;
    if (declared < sizeof head + 8) {
        return refuse(name, "RIFF size " + std::to_string(declared - 8) + " holds no chunk");
    }
    if (declared > reader.size()) {
        return refuse(name, "the file is truncated (" + std::to_string(reader.size()) + " of the " +
                                std::to_string(declared) + " bytes it declares)");
    }
    if (declared > kMaxDecodedFile) {
        return refuse(name, "the file is too large (" + std::to_string(declared) + " bytes)");
    }
    file.bytes.resize(declared);
    std::memcpy(file.bytes.data(), head, sizeof head);
    if (!reader.read(file.bytes.data() + sizeof head, declared - sizeof head)) {
        return readfailure(reader);
    }
    const WebPData data{file.bytes.data(), file.bytes.size()};
    file.demux.reset(WebPDemux(&data));
    if (!file.demux) {
        return refuse(name, "damaged or truncated chunks");
    }
    WebPDemuxer* demux = file.demux.get();
    file.width = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
    file.height = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
    file.frames = WebPDemuxGetI(demux, WEBP_FF_FRAME_COUNT);
    const uint32_t flags = WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS);
    file.animated = (flags & ANIMATION_FLAG) != 0;
    file.alpha = (flags & ALPHA_FLAG) != 0;
    if (file.frames == 0) {
        return refuse(name, "no image frames");
    }
    const uint64_t pixels = uint64_t{file.width} * file.height;
    if (pixels == 0 || !believablepixels(pixels, file.bytes.size())) {
        return refuse(name, "canvas of " + std::to_string(file.width) + " x " +
                                std::to_string(file.height) + " pixels in a file of " +
                                std::to_string(file.bytes.size()) + " bytes");
    }
    // Each frame is the whole canvas once composed.
    if (pixels * file.frames > kMaxPagePixels) {
        return refuse(name, std::to_string(file.frames) + " frames on a canvas of " +
                                std::to_string(file.width) + " x " + std::to_string(file.height) +
                                " pixels are too many to compose");
    }
    // Each frame's own header says whether it is lossy and has alpha.
    WebPIterator it;
    if (WebPDemuxGetFrame(demux, 1, &it) == 0) {
        return refuse(name, "no image frames");
    }
    bool framesok = true;
    do {
        WebPBitstreamFeatures features;
        if (WebPGetFeatures(it.fragment.bytes, it.fragment.size, &features) != VP8_STATUS_OK) {
            framesok = false;
            break;
        }
        file.lossy = file.lossy || features.format != 2;
        file.alpha = file.alpha || features.has_alpha != 0;
    } while (WebPDemuxNextFrame(&it) != 0);
    WebPDemuxReleaseIterator(&it);
    if (!framesok) {
        return refuse(name, "a frame with a damaged header");
    }
    const std::span<const uint8_t> icc = chunk(demux, "ICCP");
    if ((flags & ICCP_FLAG) != 0 && !icc.empty() && icc.size() <= kMaxProfile) {
        file.icc.assign(icc.begin(), icc.end());
    }
    if ((flags & EXIF_FLAG) != 0) {
        file.exif = readexif(chunk(demux, "EXIF"));
    }
    return {};
}

void describe(const webpfile& file, bool firstframe, imagedesc& out) {
    out.width = clamppixels(file.width);
    out.height = clamppixels(file.height);
    out.xdpi = file.exif.xdpi;
    out.ydpi = file.exif.ydpi;
    out.pagesinfile = file.animated && !firstframe ? file.frames : 1;
    out.colour = colourspace::rgb;
    out.bitspercomponent = 8;
    out.filter = pdffilter::none;
    out.iccprofile = file.icc;
    if (file.exif.orientation != 0) {
        out.upright = static_cast<orientation>(file.exif.orientation);
    }
    if (file.lossy) {
        out.lossycoding = "WebP";
    }
    // An animation's canvas is transparent where no frame covers it.
    if (file.alpha || file.animated) {
        auto mask = std::make_shared<imagedesc>();
        mask->width = out.width;
        mask->height = out.height;
        mask->colour = colourspace::gray;
        mask->bitspercomponent = 8;
        out.softmask = mask;
    }
}

status decodestill(const std::string& name, const webpfile& file, imagedesc& out) {
    WebPIterator it;
    if (WebPDemuxGetFrame(file.demux.get(), 1, &it) == 0) {
        return refuse(name, "no image frames");
    }
    const std::span<const uint8_t> frame(it.fragment.bytes, it.fragment.size);
    const bool whole = it.width == static_cast<int>(file.width) &&
                       it.height == static_cast<int>(file.height) && it.x_offset == 0 &&
                       it.y_offset == 0;
    WebPDemuxReleaseIterator(&it);
    if (!whole) {
        return refuse(name, "an image smaller than its canvas");
    }
    const size_t pixels = size_t{file.width} * file.height;
    if (!file.alpha) {
        // Straight into the page: no alpha to part from the colours.
        out.data.resize(pixels * 3);
        out.softmask.reset();
        return WebPDecodeRGBInto(frame.data(), frame.size(), out.data.data(), out.data.size(),
                                 static_cast<int>(file.width) * 3) == nullptr
                   ? refuse(name, "the image data is damaged or truncated")
                   : status{};
    }
    const int stride = static_cast<int>(file.width) * 4;
    std::vector<uint8_t> rgba(pixels * 4);
    if (WebPDecodeRGBAInto(frame.data(), frame.size(), rgba.data(), rgba.size(), stride) ==
        nullptr) {
        return refuse(name, "the image data is damaged or truncated");
    }
    splitalpha({rgba.data(), rgba.size()}, 3, 1, out);
    return {};
}

// Page `page` of an animation, going on from the state's decoder when it
// is not past that frame yet.
status decodeframe(const std::string& name, webpstate& state, uint32_t page, imagedesc& out) {
    if (!state.decoder || state.done >= page) {
        WebPAnimDecoderOptions options;
        if (WebPAnimDecoderOptionsInit(&options) == 0) {
            return status::systemerror(ENOMEM);
        }
        options.color_mode = MODE_RGBA;
        options.use_threads = 0;
        const WebPData data{state.file.bytes.data(), state.file.bytes.size()};
        state.decoder.reset(WebPAnimDecoderNew(&data, &options));
        state.done = 0;
        if (!state.decoder) {
            return refuse(name, "the animation cannot be decoded");
        }
    }
    uint8_t* rgba = nullptr;
    while (state.done < page) {
        int timestamp = 0;
        if (WebPAnimDecoderGetNext(state.decoder.get(), &rgba, &timestamp) == 0) {
            state.decoder.reset();
            return refuse(name,
                          "frame " + std::to_string(state.done + 1) + " is damaged or truncated");
        }
        ++state.done;
    }
    splitalpha({rgba, size_t{state.file.width} * state.file.height * 4}, 3, 1, out);
    return {};
}

} // namespace

status readwebppage(const readrequest& request, imagedesc& out) {
    const std::string& name = request.shown;
    std::shared_ptr<webpstate> state;
    if (request.state != nullptr) {
        state = std::dynamic_pointer_cast<webpstate>(*request.state);
    }
    if (!state || state->source != &request.source) {
        state = std::make_shared<webpstate>();
        state->source = &request.source;
        if (status s = openfile(request.source, name, state->file); !s.ok()) {
            return s;
        }
    }
    const webpfile& file = state->file;
    describe(file, request.firstframe, out);
    if (request.page < 1 || request.page > out.pagesinfile) {
        return refuse(name, "no frame " + std::to_string(request.page));
    }
    // Animations are kept for the next page.
    if (request.state != nullptr && file.animated) {
        *request.state = state;
    }
    if (request.mode == imagedata::skip) {
        return {};
    }
    out.data.clear();
    return file.animated ? decodeframe(name, *state, request.page, out)
                         : decodestill(name, file, out);
}

} // namespace ovin
