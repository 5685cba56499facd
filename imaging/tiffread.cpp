// TIFF pages through libtiff. Bilevel, grey, palette and plain RGB pages are
// decoded from their raw samples so that their depth and bits stay exactly as
// stored (a CCITT page comes out as the very bits it encodes, whatever its
// photometric); every other layout goes through libtiff's RGBA reader.
#include "source.h"
#include "tiffglue.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace ovin::imaging {

namespace {

enum class Path { Bilevel, Grey, Palette, Rgb, Rgba };

struct Layout {
    Path path = Path::Rgba;
    int bits = 24; // depth of the decoded bitmap
    uint16_t bps = 1;
    uint16_t spp = 1;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
};

bool hasAlpha(TIFF* tif) {
    uint16_t count = 0;
    uint16_t* types = nullptr;
    return TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &types) == 1 && count > 0;
}

Layout classify(TIFF* tif) {
    Layout l;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric) != 1) {
        l.photometric = l.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    const bool rawUsable = compression != COMPRESSION_OJPEG;
    const bool grey =
        l.photometric == PHOTOMETRIC_MINISWHITE || l.photometric == PHOTOMETRIC_MINISBLACK;
    if (rawUsable && l.spp == 1 && grey && l.bps == 1) {
        l.path = Path::Bilevel;
        l.bits = 1;
    } else if (rawUsable && l.spp == 1 && grey &&
               (l.bps == 2 || l.bps == 4 || l.bps == 8 || l.bps == 16)) {
        l.path = Path::Grey;
        l.bits = 8;
    } else if (rawUsable && l.spp == 1 && l.photometric == PHOTOMETRIC_PALETTE &&
               (l.bps == 1 || l.bps == 2 || l.bps == 4 || l.bps == 8)) {
        l.path = Path::Palette;
        l.bits = 8;
    } else if (rawUsable && l.spp == 3 && l.photometric == PHOTOMETRIC_RGB && l.bps == 8 &&
               planar == PLANARCONFIG_CONTIG) {
        l.path = Path::Rgb;
        l.bits = 24;
    } else {
        l.path = Path::Rgba;
        l.bits = hasAlpha(tif) ? 32 : 24;
    }
    return l;
}

PageHeader readHeader(TIFF* tif) {
    PageHeader h;
    uint32_t w = 0;
    uint32_t len = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &len);
    h.width = w;
    h.height = len;
    h.bits = classify(tif).bits;
    float xres = 0;
    float yres = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    const double factor = unit == RESUNIT_CENTIMETER ? 2.54 : unit == RESUNIT_INCH ? 1.0 : 0.0;
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) == 1) {
        h.xdpi = roundDpi(xres * factor);
    }
    if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres) == 1) {
        h.ydpi = roundDpi(yres * factor);
    }
    return h;
}

bool headerUsable(const PageHeader& h) {
    return h.width > 0 && h.height > 0 && h.width <= INT32_MAX && h.height <= INT32_MAX;
}

using RowSink = std::function<void(uint32_t y, const uint8_t* row)>;

// Hands every raw row of the page, top to bottom, to the sink: rowBytes bytes
// of packed samples each. Works on strips and on tiles.
bool readRawRows(TIFF* tif, uint32_t width, uint32_t height, uint64_t rowBytes,
                 const RowSink& sink) {
    if (rowBytes == 0 || static_cast<uint64_t>(TIFFScanlineSize64(tif)) != rowBytes) {
        return false;
    }
    if (!TIFFIsTiled(tif)) {
        uint32_t rps = height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
        rps = std::clamp<uint32_t>(rps, 1, height);
        if (static_cast<uint64_t>(rps) * rowBytes > kMaxBitmapBytes) {
            return false;
        }
        std::vector<uint8_t> strip(static_cast<size_t>(rps * rowBytes));
        const uint32_t strips = TIFFNumberOfStrips(tif);
        for (uint32_t y = 0, s = 0; y < height; y += rps, ++s) {
            if (s >= strips) {
                return false;
            }
            const uint32_t rows = std::min(rps, height - y);
            const auto want = static_cast<tmsize_t>(rows * rowBytes);
            if (TIFFReadEncodedStrip(tif, s, strip.data(), want) != want) {
                return false;
            }
            for (uint32_t r = 0; r < rows; ++r) {
                sink(y + r, strip.data() + r * rowBytes);
            }
        }
        return true;
    }
    uint32_t tw = 0;
    uint32_t th = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
    const uint64_t tileRow = static_cast<uint64_t>(TIFFTileRowSize64(tif));
    const uint64_t tileSize = static_cast<uint64_t>(TIFFTileSize64(tif));
    const uint64_t pixelBits = rowBytes * 8 / width; // whole bits per pixel for tiled layouts
    if (tw == 0 || th == 0 || tileRow == 0 || tileSize < tileRow * th || tw % 8 != 0 ||
        tileSize > kMaxBitmapBytes || static_cast<uint64_t>(th) * rowBytes > kMaxBitmapBytes) {
        return false;
    }
    th = std::min(th, height);
    std::vector<uint8_t> tile(static_cast<size_t>(tileSize));
    std::vector<uint8_t> band(static_cast<size_t>(th * rowBytes));
    for (uint32_t y = 0; y < height; y += th) {
        const uint32_t rows = std::min(th, height - y);
        for (uint32_t x = 0; x < width; x += tw) {
            const uint32_t index = TIFFComputeTile(tif, x, y, 0, 0);
            if (TIFFReadEncodedTile(tif, index, tile.data(), static_cast<tmsize_t>(tileSize)) < 0) {
                return false;
            }
            const uint64_t offset = static_cast<uint64_t>(x) * pixelBits / 8;
            const uint64_t count = std::min(tileRow, rowBytes - offset);
            for (uint32_t r = 0; r < rows; ++r) {
                std::memcpy(band.data() + r * rowBytes + offset, tile.data() + r * tileRow,
                            static_cast<size_t>(count));
            }
        }
        for (uint32_t r = 0; r < rows; ++r) {
            sink(y + r, band.data() + r * rowBytes);
        }
    }
    return true;
}

// Sample i of a row of packed samples of `bps` bits (1, 2, 4 or 8).
unsigned packedSample(const uint8_t* row, size_t i, unsigned bps) {
    const size_t bit = i * bps;
    const unsigned shift = 8 - bps - static_cast<unsigned>(bit & 7);
    return (row[bit >> 3] >> shift) & ((1U << bps) - 1);
}

std::vector<Rgb> readColormap(TIFF* tif, unsigned bps) {
    uint16_t* r = nullptr;
    uint16_t* g = nullptr;
    uint16_t* b = nullptr;
    if (TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) != 1 || !r || !g || !b) {
        return {};
    }
    const size_t n = size_t{1} << bps;
    // Some writers store 8-bit values in the 16-bit colormap; when no entry
    // goes past 255 the values are taken as they are.
    bool eightBit = true;
    for (size_t i = 0; i < n && eightBit; ++i) {
        eightBit = r[i] < 256 && g[i] < 256 && b[i] < 256;
    }
    std::vector<Rgb> palette(n);
    for (size_t i = 0; i < n; ++i) {
        if (eightBit) {
            palette[i] = {static_cast<uint8_t>(r[i]), static_cast<uint8_t>(g[i]),
                          static_cast<uint8_t>(b[i])};
        } else {
            palette[i] = {static_cast<uint8_t>(r[i] >> 8), static_cast<uint8_t>(g[i] >> 8),
                          static_cast<uint8_t>(b[i] >> 8)};
        }
    }
    return palette;
}

std::shared_ptr<const Bitmap> decodeRaw(TIFF* tif, const Layout& l, const PageHeader& h) {
    const auto w = static_cast<uint32_t>(h.width);
    const auto ht = static_cast<uint32_t>(h.height);
    const int photometric = l.path == Path::Palette ? kPhotometricPalette
                            : l.path == Path::Rgb   ? kPhotometricRgb
                                                    : l.photometric;
    auto bm = makeBitmap(w, ht, l.bits, photometric);
    if (!bm) {
        return nullptr;
    }
    if (l.path == Path::Palette) {
        bm->palette = readColormap(tif, l.bps);
        if (bm->palette.empty()) {
            return nullptr;
        }
    }
    const auto rowBytes = packedStride(w, l.bps * l.spp);
    if (!rowBytes) {
        return nullptr;
    }
    Bitmap& out = *bm;
    RowSink sink;
    switch (l.path) {
    case Path::Bilevel:
    case Path::Rgb:
        sink = [&out](uint32_t y, const uint8_t* row) {
            std::memcpy(out.row(static_cast<int32_t>(y)), row, out.stride);
        };
        break;
    case Path::Grey:
    case Path::Palette: {
        const unsigned bps = l.bps;
        const bool scale = l.path == Path::Grey; // grey levels widen to 8 bits, indexes do not
        sink = [&out, bps, scale, w](uint32_t y, const uint8_t* row) {
            uint8_t* dst = out.row(static_cast<int32_t>(y));
            if (bps == 8) {
                std::memcpy(dst, row, w);
            } else if (bps == 16) {
                // libtiff hands 16-bit samples over in the machine's byte order.
                for (uint32_t x = 0; x < w; ++x) {
                    uint16_t v = 0;
                    std::memcpy(&v, row + 2 * static_cast<size_t>(x), 2);
                    dst[x] = static_cast<uint8_t>(v >> 8);
                }
            } else {
                const unsigned max = (1U << bps) - 1;
                for (uint32_t x = 0; x < w; ++x) {
                    const unsigned v = packedSample(row, x, bps);
                    dst[x] = static_cast<uint8_t>(scale ? v * 255 / max : v);
                }
            }
        };
        break;
    }
    case Path::Rgba:
        return nullptr;
    }
    if (!readRawRows(tif, w, ht, *rowBytes, sink)) {
        return nullptr;
    }
    out.xdpi = h.xdpi;
    out.ydpi = h.ydpi;
    return std::make_shared<const Bitmap>(std::move(out));
}

std::shared_ptr<const Bitmap> decodeRgba(TIFF* tif, const Layout& l, const PageHeader& h) {
    const uint64_t pixels = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height);
    if (pixels * 4 > kMaxBitmapBytes) {
        return nullptr;
    }
    char why[1024] = {};
    if (TIFFRGBAImageOK(tif, why) != 1) {
        return nullptr;
    }
    auto bm = makeBitmap(h.width, h.height, l.bits, kPhotometricRgb);
    if (!bm) {
        return nullptr;
    }
    std::vector<uint32_t> raster(static_cast<size_t>(pixels));
    if (TIFFReadRGBAImageOriented(tif, static_cast<uint32_t>(h.width),
                                  static_cast<uint32_t>(h.height), raster.data(),
                                  ORIENTATION_TOPLEFT, 0) != 1) {
        return nullptr;
    }
    const auto w = static_cast<size_t>(h.width);
    const size_t channels = l.bits == 32 ? 4 : 3;
    for (int32_t y = 0; y < bm->height; ++y) {
        uint8_t* dst = bm->row(y);
        const uint32_t* src = raster.data() + static_cast<size_t>(y) * w;
        for (size_t x = 0; x < w; ++x) {
            dst[channels * x] = static_cast<uint8_t>(TIFFGetR(src[x]));
            dst[channels * x + 1] = static_cast<uint8_t>(TIFFGetG(src[x]));
            dst[channels * x + 2] = static_cast<uint8_t>(TIFFGetB(src[x]));
            if (channels == 4) {
                dst[channels * x + 3] = static_cast<uint8_t>(TIFFGetA(src[x]));
            }
        }
    }
    bm->xdpi = h.xdpi;
    bm->ydpi = h.ydpi;
    return std::make_shared<const Bitmap>(std::move(*bm));
}

class TiffSource final : public ImageSource {
public:
    explicit TiffSource(UniqueFd fd) : fd_(std::move(fd)) { stream_.fd = fd_.get(); }

    // Reads the first directory and counts the pages; false for a file that
    // libtiff refuses or whose first page has no usable size.
    bool open() {
        // "m": no memory mapping, so a file cut short by someone else gives
        // read errors rather than a bus error.
        tif_ = openTiffStream(stream_, "rm", messages_);
        if (!tif_) {
            return false;
        }
        const tdir_t pages = TIFFNumberOfDirectories(tif_.get());
        if (pages == 0 || pages > INT32_MAX) {
            return false;
        }
        pages_ = static_cast<int32_t>(pages);
        header_ = readHeader(tif_.get());
        return headerUsable(header_);
    }

    int32_t pageCount() const override { return pages_; }

    bool selectPage(int32_t page) override {
        if (page < 0 || page >= pages_) {
            return false;
        }
        const tdir_t previous = TIFFCurrentDirectory(tif_.get());
        if (TIFFSetDirectory(tif_.get(), static_cast<tdir_t>(page)) == 1) {
            PageHeader h = readHeader(tif_.get());
            if (headerUsable(h)) {
                header_ = h;
                return true;
            }
        }
        TIFFSetDirectory(tif_.get(), previous);
        return false;
    }

    const PageHeader& header() const override { return header_; }

    std::shared_ptr<const Bitmap> decode() override {
        const Layout l = classify(tif_.get());
        if (l.path == Path::Rgba) {
            return decodeRgba(tif_.get(), l, header_);
        }
        return decodeRaw(tif_.get(), l, header_);
    }

private:
    // Declared in the order they are needed: the TIFF goes first on
    // destruction, then the stream and messages it points to, then the file.
    UniqueFd fd_;
    TiffFileStream stream_;
    LibtiffMessages messages_;
    TiffPtr tif_;
    int32_t pages_ = 0;
    PageHeader header_;
};

} // namespace

std::unique_ptr<ImageSource> openTiff(UniqueFd fd) {
    auto source = std::make_unique<TiffSource>(std::move(fd));
    if (!source->open()) {
        return nullptr;
    }
    return source;
}

} // namespace ovin::imaging
