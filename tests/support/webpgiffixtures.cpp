#include "webpgiffixtures.h"

#include <gif_lib.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstring>
#include <memory>
#include <stdexcept>

namespace ovintest {

namespace {

using bytes = std::vector<uint8_t>;

// A smooth pattern (so that JPEG coding changes it little), RGBA; frame
// `f` moves it. Alpha runs from transparent to opaque across the image.
bytes pattern(int width, int height, bool alpha, int f) {
    bytes rgba(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
            p[0] = static_cast<uint8_t>((x + f * 7) * 255 / (width + f * 7));
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>(128 + f * 40);
            p[3] = alpha ? static_cast<uint8_t>(x * 255 / (width - 1)) : uint8_t{255};
        }
    }
    return rgba;
}

// Pixels over white, RGB.
raster overwhite(const uint8_t* rgba, int width, int height) {
    raster r{width, height, 3, {}, {}};
    r.pixels.resize(size_t(width) * size_t(height) * 3);
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
        const int a = rgba[i * 4 + 3];
        for (int c = 0; c < 3; ++c) {
            r.pixels[i * 3 + size_t(c)] =
                static_cast<uint8_t>((rgba[i * 4 + size_t(c)] * a + 255 * (255 - a) + 127) / 255);
        }
    }
    return r;
}

bytes animation(const webpoptions& o) {
    WebPAnimEncoderOptions eo;
    WebPAnimEncoderOptionsInit(&eo);
    std::unique_ptr<WebPAnimEncoder, decltype(&WebPAnimEncoderDelete)> enc(
        WebPAnimEncoderNew(o.width, o.height, &eo), WebPAnimEncoderDelete);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = o.lossless ? 1 : 0;
    config.quality = 90;
    for (int f = 0; f < o.frames; ++f) {
        WebPPicture pic;
        WebPPictureInit(&pic);
        pic.use_argb = 1;
        pic.width = o.width;
        pic.height = o.height;
        // Frames after the first cover part of the canvas: a square moves.
        bytes rgba = pattern(o.width, o.height, o.alpha, f);
        if (f > 0) {
            for (int y = 0; y < o.height; ++y) {
                for (int x = 0; x < o.width; ++x) {
                    const bool inside = x >= f * 5 && x < f * 5 + 12 && y >= 4 && y < 16;
                    if (!inside) {
                        std::memset(&rgba[(size_t(y) * size_t(o.width) + size_t(x)) * 4], 0, 4);
                    }
                }
            }
        }
        WebPPictureImportRGBA(&pic, rgba.data(), o.width * 4);
        const bool ok = WebPAnimEncoderAdd(enc.get(), &pic, f * 100, &config) != 0;
        WebPPictureFree(&pic);
        if (!ok) {
            throw std::runtime_error("WebPAnimEncoderAdd failed");
        }
    }
    WebPAnimEncoderAdd(enc.get(), nullptr, o.frames * 100, nullptr);
    WebPData data;
    WebPDataInit(&data);
    if (WebPAnimEncoderAssemble(enc.get(), &data) == 0) {
        throw std::runtime_error("WebPAnimEncoderAssemble failed");
    }
    bytes file(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    return file;
}

} // namespace

std::vector<uint8_t> makewebp(const webpoptions& o) {
    bytes file;
    if (o.frames > 0) {
        file = animation(o);
    } else {
        const bytes rgba = pattern(o.width, o.height, o.alpha, 0);
        uint8_t* out = nullptr;
        const size_t n =
            o.lossless ? WebPEncodeLosslessRGBA(rgba.data(), o.width, o.height, o.width * 4, &out)
                       : WebPEncodeRGBA(rgba.data(), o.width, o.height, o.width * 4, 90, &out);
        if (n == 0) {
            throw std::runtime_error("WebP encoding failed");
        }
        file.assign(out, out + n);
        WebPFree(out);
    }
    if (o.icc.empty() && o.exif.empty()) {
        return file;
    }
    const WebPData in{file.data(), file.size()};
    std::unique_ptr<WebPMux, decltype(&WebPMuxDelete)> mux(WebPMuxCreate(&in, 1), WebPMuxDelete);
    const WebPData icc{o.icc.data(), o.icc.size()};
    const WebPData exif{o.exif.data(), o.exif.size()};
    if (!mux || (!o.icc.empty() && WebPMuxSetChunk(mux.get(), "ICCP", &icc, 1) != WEBP_MUX_OK) ||
        (!o.exif.empty() && WebPMuxSetChunk(mux.get(), "EXIF", &exif, 1) != WEBP_MUX_OK)) {
        throw std::runtime_error("WebPMux failed");
    }
    WebPData assembled;
    WebPDataInit(&assembled);
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
        throw std::runtime_error("WebPMuxAssemble failed");
    }
    file.assign(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    return file;
}

std::vector<raster> decodewebp(const std::vector<uint8_t>& file) {
    const WebPData data{file.data(), file.size()};
    WebPAnimDecoderOptions o;
    WebPAnimDecoderOptionsInit(&o);
    o.color_mode = MODE_RGBA;
    WebPAnimDecoder* dec = WebPAnimDecoderNew(&data, &o);
    if (dec == nullptr) {
        throw std::runtime_error("WebPAnimDecoderNew failed");
    }
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(dec, &info);
    std::vector<raster> frames;
    uint8_t* rgba = nullptr;
    int timestamp = 0;
    while (WebPAnimDecoderGetNext(dec, &rgba, &timestamp) != 0) {
        frames.push_back(overwhite(rgba, int(info.canvas_width), int(info.canvas_height)));
    }
    WebPAnimDecoderDelete(dec);
    return frames;
}

namespace {

int writegif(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<bytes*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

using colourmap = std::unique_ptr<ColorMapObject, decltype(&GifFreeMapObject)>;

colourmap makemap(const bytes& palette) {
    colourmap map(nullptr, GifFreeMapObject);
    if (palette.empty()) {
        return map;
    }
    map.reset(GifMakeMapObject(int(palette.size() / 3), nullptr));
    if (!map) {
        throw std::runtime_error("GifMakeMapObject: not a power of two");
    }
    std::memcpy(map->Colors, palette.data(), palette.size());
    return map;
}

int readgif(GifFileType* gif, GifByteType* data, int n) {
    auto* in = static_cast<std::pair<const bytes*, size_t>*>(gif->UserData);
    const int got = int(std::min<size_t>(size_t(n), in->first->size() - in->second));
    std::memcpy(data, in->first->data() + in->second, size_t(got));
    in->second += size_t(got);
    return got;
}

} // namespace

std::vector<uint8_t> makegif(const gifoptions& o) {
    bytes file;
    int error = 0;
    GifFileType* gif = EGifOpen(&file, writegif, &error);
    if (gif == nullptr) {
        throw std::runtime_error("EGifOpen failed");
    }
    EGifSetGifVersion(gif, true);
    const colourmap global = makemap(o.palette);
    bool ok = EGifPutScreenDesc(gif, o.width, o.height, 8, 0, global.get()) != GIF_ERROR;
    for (const gifframe& f : o.frames) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = f.disposal;
        gcb.TransparentColor = f.transparent;
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        const colourmap local = makemap(f.palette);
        const int entries = int((f.palette.empty() ? o.palette : f.palette).size() / 3);
        // giflib 5.2 keeps its copy of a frame's local table without
        // freeing the one before it: freed here, frame by frame.
        if (gif->Image.ColorMap != nullptr) {
            GifFreeMapObject(gif->Image.ColorMap);
            gif->Image.ColorMap = nullptr;
        }
        ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) != GIF_ERROR &&
             EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, local.get()) !=
                 GIF_ERROR;
        // Interlaced rows go in pass order.
        std::vector<int> rows;
        const int starts[4] = {0, 4, 2, 1};
        const int steps[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < (f.interlaced ? 4 : 1); ++pass) {
            for (int y = f.interlaced ? starts[pass] : 0; y < f.height;
                 y += f.interlaced ? steps[pass] : 1) {
                rows.push_back(y);
            }
        }
        std::vector<GifPixelType> line(size_t(f.width));
        for (int y : rows) {
            for (int x = 0; x < f.width; ++x) {
                line[size_t(x)] =
                    GifPixelType((x / 3 + y / 2 + f.seed * 5 + (x * y) % 3) % entries);
            }
            ok = ok && EGifPutLine(gif, line.data(), f.width) != GIF_ERROR;
        }
    }
    ok = EGifCloseFile(gif, &error) != GIF_ERROR && ok;
    if (!ok) {
        throw std::runtime_error("giflib failed to write");
    }
    return file;
}

std::vector<raster> decodegif(const std::vector<uint8_t>& file) {
    std::pair<const bytes*, size_t> in{&file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, readgif, &error);
    if (gif == nullptr || DGifSlurp(gif) == GIF_ERROR) {
        DGifCloseFile(gif, &error);
        throw std::runtime_error("giflib failed to read");
    }
    const int w = gif->SWidth;
    const int h = gif->SHeight;
    bytes screen(size_t(w) * size_t(h) * 4, 0);
    std::vector<raster> frames;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const GifImageDesc& d = image.ImageDesc;
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = -1;
        DGifSavedExtensionToGCB(gif, i, &gcb);
        const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : gif->SColorMap;
        const bytes before = screen;
        for (int y = 0; y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[size_t(y) * size_t(d.Width) + size_t(x)];
                const int sx = d.Left + x;
                const int sy = d.Top + y;
                if (index == gcb.TransparentColor || sx >= w || sy >= h) {
                    continue;
                }
                uint8_t* p = &screen[(size_t(sy) * size_t(w) + size_t(sx)) * 4];
                p[0] = map->Colors[index].Red;
                p[1] = map->Colors[index].Green;
                p[2] = map->Colors[index].Blue;
                p[3] = 255;
            }
        }
        frames.push_back(overwhite(screen.data(), w, h));
        if (gcb.DisposalMode == DISPOSE_BACKGROUND || gcb.DisposalMode == DISPOSE_PREVIOUS) {
            for (int y = d.Top; y < std::min(h, d.Top + d.Height); ++y) {
                for (int x = d.Left; x < std::min(w, d.Left + d.Width); ++x) {
                    const size_t at = (size_t(y) * size_t(w) + size_t(x)) * 4;
                    for (size_t c = 0; c < 4; ++c) {
                        screen[at + c] =
                            gcb.DisposalMode == DISPOSE_BACKGROUND ? 0 : before[at + c];
                    }
                }
            }
        }
    }
    DGifCloseFile(gif, &error);
    return frames;
}

} // namespace ovintest
