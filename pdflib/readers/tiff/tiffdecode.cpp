#include "readers/tiff/tiffdecode.h"

#include <algorithm>
#include <cstring>

namespace ovin {

namespace {

// One sample of a row: packed most significant bit first up to 8 bits,
// 16-bit samples in the machine's order (libtiff's) or most significant
// byte first (PDF's).
uint32_t readsample(const uint8_t* row, size_t index, uint16_t bits) {
    switch (bits) {
    case 8:
        return row[index];
    case 16: {
        uint16_t value = 0;
        std::memcpy(&value, row + 2 * index, 2);
        return value;
    }
    default: {
        const size_t bit = index * bits;
        const auto shift = static_cast<unsigned>(8 - bits - bit % 8);
        return (row[bit / 8] >> shift) & ((1U << bits) - 1);
    }
    }
}

uint32_t readpdfsample(const uint8_t* row, size_t index, uint16_t bits) {
    if (bits == 16) {
        return uint32_t{row[2 * index]} << 8 | row[2 * index + 1];
    }
    return readsample(row, index, bits);
}

void writepdfsample(uint8_t* row, size_t index, uint16_t bits, uint32_t value) {
    switch (bits) {
    case 8:
        row[index] = static_cast<uint8_t>(value);
        return;
    case 16:
        row[2 * index] = static_cast<uint8_t>(value >> 8);
        row[2 * index + 1] = static_cast<uint8_t>(value);
        return;
    default: {
        const size_t bit = index * bits;
        const auto shift = static_cast<unsigned>(8 - bits - bit % 8);
        const auto mask = static_cast<uint8_t>(((1U << bits) - 1) << shift);
        row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~mask) | ((value << shift) & mask));
        return;
    }
    }
}

// Copies `count` bits from bit `from` of src to bit `to` of dst.
void copybits(uint8_t* dst, uint64_t to, const uint8_t* src, uint64_t from, uint64_t count) {
    if (to % 8 == 0 && from % 8 == 0) {
        std::memcpy(dst + to / 8, src + from / 8, static_cast<size_t>(count / 8));
        to += count / 8 * 8;
        from += count / 8 * 8;
        count %= 8;
    }
    for (uint64_t k = 0; k < count; ++k) {
        const unsigned bit = (src[(from + k) / 8] >> (7 - (from + k) % 8)) & 1U;
        const auto mask = static_cast<uint8_t>(0x80U >> ((to + k) % 8));
        dst[(to + k) / 8] =
            static_cast<uint8_t>(bit != 0 ? dst[(to + k) / 8] | mask : dst[(to + k) / 8] & ~mask);
    }
}

std::string libtifferror(const tiffstream& stream, const char* fallback) {
    return stream.error().empty() ? fallback : stream.error();
}

std::string sizeerror(uint64_t rowbytes, uint64_t rows, uint64_t maxbytes) {
    const uint64_t bytes = rowbytes > UINT64_MAX / rows ? UINT64_MAX : rowbytes * rows;
    return "its decoded samples would take " + std::to_string(bytes) + " bytes, more than the " +
           std::to_string(maxbytes) + " allowed";
}

struct geometry {
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1;
    uint16_t planes = 1;        // samples stored plane by plane: one plane per sample
    uint16_t planesamples = 1;  // samples per pixel within one plane
    uint64_t planerowbytes = 0; // bytes of one row of one plane
};

// The rows of one plane, strip by strip, appended to `out`.
std::string readstrips(tiffstream& stream, const geometry& g, uint16_t plane,
                       std::vector<uint8_t>& out) {
    TIFF* tif = stream.handle();
    uint32_t rowsperstrip = g.height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsperstrip);
    rowsperstrip = std::clamp<uint32_t>(rowsperstrip, 1, g.height);
    const uint32_t perplane = (g.height - 1) / rowsperstrip + 1;
    if (uint64_t{perplane} * g.planes > TIFFNumberOfStrips(tif)) {
        return "it has fewer strips than rows";
    }
    for (uint32_t s = 0; s < perplane; ++s) {
        const uint32_t rows = std::min(rowsperstrip, g.height - s * rowsperstrip);
        const uint64_t want = g.planerowbytes * rows;
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(want));
        const tmsize_t got = TIFFReadEncodedStrip(tif, plane * perplane + s, out.data() + at,
                                                  static_cast<tmsize_t>(want));
        if (got < 0 || static_cast<uint64_t>(got) < want) {
            return libtifferror(stream, "a strip holds fewer rows than it should");
        }
    }
    return {};
}

// The rows of one plane, one row of tiles at a time, appended to `out`.
std::string readtiles(tiffstream& stream, const geometry& g, uint16_t plane, uint64_t maxbytes,
                      std::vector<uint8_t>& out) {
    TIFF* tif = stream.handle();
    uint32_t tilewidth = 0, tilelength = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tilewidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tilelength);
    if (tilewidth == 0 || tilelength == 0) {
        return "its tiles have no size";
    }
    const uint64_t tilerowbytes = (uint64_t{tilewidth} * g.planesamples * g.bits + 7) / 8;
    if (tilerowbytes > maxbytes / tilelength) {
        return sizeerror(tilerowbytes, tilelength, maxbytes);
    }
    const uint64_t tilebytes = tilerowbytes * tilelength;
    std::vector<uint8_t> tile(static_cast<size_t>(tilebytes));
    const uint64_t pixelbits = uint64_t{g.planesamples} * g.bits;
    for (uint64_t y = 0; y < g.height; y += tilelength) {
        const auto rows = static_cast<uint32_t>(std::min<uint64_t>(tilelength, g.height - y));
        const size_t band = out.size();
        out.resize(band + static_cast<size_t>(g.planerowbytes * rows), 0);
        for (uint64_t x = 0; x < g.width; x += tilewidth) {
            const uint32_t tileindex =
                TIFFComputeTile(tif, static_cast<uint32_t>(x), static_cast<uint32_t>(y), 0, plane);
            if (tileindex >= TIFFNumberOfTiles(tif) ||
                TIFFReadEncodedTile(tif, tileindex, tile.data(), static_cast<tmsize_t>(tilebytes)) <
                    0) {
                return libtifferror(stream, "a tile cannot be read");
            }
            const uint64_t columns = std::min<uint64_t>(tilewidth, g.width - x);
            for (uint32_t r = 0; r < rows; ++r) {
                copybits(out.data() + band + static_cast<size_t>(g.planerowbytes * r),
                         x * pixelbits, tile.data() + static_cast<size_t>(tilerowbytes * r), 0,
                         columns * pixelbits);
            }
        }
    }
    return {};
}

} // namespace

std::string decodesamples(tiffstream& stream, uint64_t maxbytes, decodedpage& out) {
    TIFF* tif = stream.handle();
    geometry g;
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &g.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &g.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &g.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &g.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    if (g.width == 0 || g.height == 0 || g.samples == 0) {
        return "it has no pixels";
    }
    if (g.bits != 1 && g.bits != 2 && g.bits != 4 && g.bits != 8 && g.bits != 16) {
        return "its samples have " + std::to_string(g.bits) + " bits";
    }
    const bool separate = planar == PLANARCONFIG_SEPARATE && g.samples > 1;
    g.planes = separate ? g.samples : 1;
    g.planesamples = separate ? 1 : g.samples;
    g.planerowbytes = (uint64_t{g.width} * g.planesamples * g.bits + 7) / 8;
    const uint64_t rowbytes = (uint64_t{g.width} * g.samples * g.bits + 7) / 8;
    if (rowbytes > maxbytes / g.height) {
        return sizeerror(rowbytes, g.height, maxbytes);
    }
    // What libtiff will deliver must be what the rows above hold (YCbCr
    // with subsampling, say, is not).
    if (static_cast<uint64_t>(TIFFScanlineSize64(tif)) != g.planerowbytes) {
        return libtifferror(stream, "its rows are not laid out sample by sample");
    }

    out.width = g.width;
    out.height = g.height;
    out.bits = g.bits;
    out.samples = g.samples;
    out.bytes.clear();
    const bool tiled = TIFFIsTiled(tif) != 0;
    if (!separate) {
        // Grown strip by strip: a file that claims a large page but holds
        // little fails at its first damaged strip, not after a huge
        // allocation.
        out.bytes.reserve(static_cast<size_t>(rowbytes * g.height));
        return tiled ? readtiles(stream, g, 0, maxbytes, out.bytes)
                     : readstrips(stream, g, 0, out.bytes);
    }
    std::vector<std::vector<uint8_t>> planes(g.planes);
    for (uint16_t p = 0; p < g.planes; ++p) {
        planes[p].reserve(static_cast<size_t>(g.planerowbytes * g.height));
        const std::string failed = tiled ? readtiles(stream, g, p, maxbytes, planes[p])
                                         : readstrips(stream, g, p, planes[p]);
        if (!failed.empty()) {
            return failed;
        }
    }
    out.bytes.assign(static_cast<size_t>(rowbytes * g.height), 0);
    for (uint32_t y = 0; y < g.height; ++y) {
        uint8_t* row = out.bytes.data() + static_cast<size_t>(rowbytes * y);
        for (uint16_t p = 0; p < g.planes; ++p) {
            const uint8_t* source = planes[p].data() + static_cast<size_t>(g.planerowbytes * y);
            for (uint32_t x = 0; x < g.width; ++x) {
                const size_t index = size_t{x} * g.samples + p;
                if (g.bits == 16) {
                    std::memcpy(row + 2 * index, source + 2 * size_t{x}, 2);
                } else {
                    // writepdfsample packs sub-byte samples as libtiff does.
                    writepdfsample(row, index, g.bits, readsample(source, x, g.bits));
                }
            }
        }
    }
    return {};
}

std::string decodergba(tiffstream& stream, uint64_t maxbytes, decodedpage& out) {
    TIFF* tif = stream.handle();
    char message[1024] = "";
    if (TIFFRGBAImageOK(tif, message) == 0) {
        return message;
    }
    TIFFRGBAImage image{};
    if (TIFFRGBAImageBegin(&image, tif, 1, message) == 0) {
        return message;
    }
    struct ender {
        TIFFRGBAImage& image;
        ~ender() { TIFFRGBAImageEnd(&image); }
    } end{image};
    const uint32_t width = image.width;
    const uint32_t height = image.height;
    if (width == 0 || height == 0) {
        return "it has no pixels";
    }
    if (uint64_t{width} * 4 > maxbytes / height) {
        return sizeerror(uint64_t{width} * 4, height, maxbytes);
    }
    // Rows in the order stored: the page's orientation is applied by the
    // PDF page, not here.
    image.req_orientation = image.orientation;
    std::vector<uint32_t> raster(size_t{width} * height);
    if (TIFFRGBAImageGet(&image, raster.data(), width, height) == 0) {
        return libtifferror(stream, "libtiff cannot decode it");
    }
    out.width = width;
    out.height = height;
    out.bits = 8;
    out.samples = 4;
    out.bytes.assign(size_t{width} * height * 4, 0);
    uint8_t* to = out.bytes.data();
    for (const uint32_t pixel : raster) {
        *to++ = static_cast<uint8_t>(TIFFGetR(pixel));
        *to++ = static_cast<uint8_t>(TIFFGetG(pixel));
        *to++ = static_cast<uint8_t>(TIFFGetB(pixel));
        *to++ = static_cast<uint8_t>(TIFFGetA(pixel));
    }
    return {};
}

std::vector<uint8_t> picksamples(decodedpage& page, uint16_t first, uint16_t count) {
    if (first == 0 && count == page.samples) {
        std::vector<uint8_t> all = std::move(page.bytes);
        page.bytes.clear();
        if (page.bits == 16) {
            for (size_t k = 0; k + 1 < all.size(); k += 2) {
                uint16_t value = 0;
                std::memcpy(&value, all.data() + k, 2);
                all[k] = static_cast<uint8_t>(value >> 8);
                all[k + 1] = static_cast<uint8_t>(value);
            }
        }
        return all;
    }
    const size_t from = page.rowbytes();
    const size_t to = (size_t{page.width} * count * page.bits + 7) / 8;
    std::vector<uint8_t> out(to * page.height, 0);
    for (uint32_t y = 0; y < page.height; ++y) {
        const uint8_t* source = page.bytes.data() + from * y;
        uint8_t* target = out.data() + to * y;
        for (uint32_t x = 0; x < page.width; ++x) {
            for (uint16_t s = 0; s < count; ++s) {
                writepdfsample(target, size_t{x} * count + s, page.bits,
                               readsample(source, size_t{x} * page.samples + first + s, page.bits));
            }
        }
    }
    return out;
}

void unpremultiply(std::vector<uint8_t>& colour, const std::vector<uint8_t>& alpha, uint32_t width,
                   uint32_t height, uint16_t colours, uint16_t bits) {
    const uint32_t maximum = (1U << bits) - 1;
    const size_t colourrow = (size_t{width} * colours * bits + 7) / 8;
    const size_t alpharow = (size_t{width} * bits + 7) / 8;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = colour.data() + colourrow * y;
        const uint8_t* mask = alpha.data() + alpharow * y;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t a = readpdfsample(mask, x, bits);
            if (a == maximum) {
                continue;
            }
            for (uint16_t c = 0; c < colours; ++c) {
                const size_t index = size_t{x} * colours + c;
                const uint64_t v = readpdfsample(row, index, bits);
                // Rounded to the nearest; where nothing shows, nothing to divide.
                const uint64_t straight = a == 0 ? 0 : (v * maximum + a / 2) / a;
                writepdfsample(row, index, bits,
                               static_cast<uint32_t>(std::min<uint64_t>(straight, maximum)));
            }
        }
    }
}

std::vector<uint8_t> expandpalette(const decodedpage& page, const std::vector<uint8_t>& palette) {
    const size_t entries = palette.size() / 3;
    std::vector<uint8_t> out;
    if (entries == 0) {
        return out;
    }
    out.reserve(size_t{page.width} * page.height * 3);
    const size_t rowbytes = page.rowbytes();
    for (uint32_t y = 0; y < page.height; ++y) {
        const uint8_t* row = page.bytes.data() + rowbytes * y;
        for (uint32_t x = 0; x < page.width; ++x) {
            const size_t index =
                std::min<size_t>(readsample(row, size_t{x} * page.samples, page.bits), entries - 1);
            out.insert(out.end(), palette.begin() + static_cast<ptrdiff_t>(3 * index),
                       palette.begin() + static_cast<ptrdiff_t>(3 * index + 3));
        }
    }
    return out;
}

} // namespace ovin
