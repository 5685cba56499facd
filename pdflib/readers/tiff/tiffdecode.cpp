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

} // namespace

tiffrows::tiffrows(tiffstream& stream, uint16_t plane, uint64_t maxbytes)
    : stream_(stream), tif_(stream.handle()), plane_(plane) {
    uint16_t bits = 1;
    uint16_t samples = 1;
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tif_, TIFFTAG_IMAGEWIDTH, &width_);
    TIFFGetField(tif_, TIFFTAG_IMAGELENGTH, &height_);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_PLANARCONFIG, &planar);
    const bool separate = planar == PLANARCONFIG_SEPARATE && samples > 1;
    pixelbits_ = uint64_t{separate ? 1U : samples} * bits;
    rowbytes_ = (width_ * pixelbits_ + 7) / 8;
    if (width_ == 0 || height_ == 0 || bits == 0) {
        problem_ = "it has no pixels";
        return;
    }
    // What libtiff will deliver must be what the rows above hold (YCbCr
    // with subsampling, say, is not).
    if (static_cast<uint64_t>(TIFFScanlineSize64(tif_)) != rowbytes_) {
        problem_ = libtifferror(stream_, "its rows are not laid out sample by sample");
        return;
    }
    tiled_ = TIFFIsTiled(tif_) != 0;
    if (!tiled_) {
        uint32_t rowsperstrip = height_;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rowsperstrip);
        bandheight_ = std::clamp<uint32_t>(rowsperstrip, 1, height_);
        perplane_ = (height_ - 1) / bandheight_ + 1;
        if (uint64_t{perplane_} * (separate ? samples : 1) > TIFFNumberOfStrips(tif_)) {
            problem_ = "it has fewer strips than rows";
        } else if (rowbytes_ > maxbytes / bandheight_) {
            problem_ = sizeerror(rowbytes_, bandheight_, maxbytes);
        }
    } else {
        uint32_t tilelength = 0;
        TIFFGetField(tif_, TIFFTAG_TILEWIDTH, &tilewidth_);
        TIFFGetField(tif_, TIFFTAG_TILELENGTH, &tilelength);
        tilerowbytes_ = (uint64_t{tilewidth_} * pixelbits_ + 7) / 8;
        bandheight_ = std::min(tilelength, height_);
        if (tilewidth_ == 0 || tilelength == 0) {
            problem_ = "its tiles have no size";
        } else if (tilerowbytes_ > maxbytes / tilelength || rowbytes_ > maxbytes / bandheight_) {
            problem_ = sizeerror(std::max(tilerowbytes_, rowbytes_), tilelength, maxbytes);
        } else {
            tile_.resize(static_cast<size_t>(tilerowbytes_ * tilelength));
        }
    }
    if (problem_.empty()) {
        band_.resize(static_cast<size_t>(rowbytes_ * bandheight_));
    }
}

void tiffrows::restart() {
    y_ = bandstart_ = bandrows_ = 0;
}

const uint8_t* tiffrows::next() {
    if (y_ >= height_ || !problem_.empty()) {
        return nullptr;
    }
    if (y_ >= bandstart_ + bandrows_ && !(tiled_ ? readtiles() : readstrip())) {
        y_ = height_; // nothing more comes out of a page that failed
        return nullptr;
    }
    return band_.data() + static_cast<size_t>(y_++ - bandstart_) * rowbytes_;
}

bool tiffrows::readstrip() {
    const uint32_t rows = std::min(bandheight_, height_ - y_);
    const uint64_t want = rowbytes_ * rows;
    const tmsize_t got = TIFFReadEncodedStrip(tif_, plane_ * perplane_ + y_ / bandheight_,
                                              band_.data(), static_cast<tmsize_t>(want));
    if (got < 0 || static_cast<uint64_t>(got) < want) {
        problem_ = libtifferror(stream_, "a strip holds fewer rows than it should");
        return false;
    }
    bandstart_ = y_;
    bandrows_ = rows;
    return true;
}

bool tiffrows::readtiles() {
    const uint32_t rows = std::min(bandheight_, height_ - y_);
    for (uint64_t x = 0; x < width_; x += tilewidth_) {
        const uint32_t index = TIFFComputeTile(tif_, static_cast<uint32_t>(x), y_, 0, plane_);
        if (index >= TIFFNumberOfTiles(tif_) ||
            TIFFReadEncodedTile(tif_, index, tile_.data(), static_cast<tmsize_t>(tile_.size())) <
                0) {
            problem_ = libtifferror(stream_, "a tile cannot be read");
            return false;
        }
        const uint64_t columns = std::min<uint64_t>(tilewidth_, width_ - x);
        for (uint32_t r = 0; r < rows; ++r) {
            copybits(band_.data() + static_cast<size_t>(rowbytes_ * r), x * pixelbits_,
                     tile_.data() + static_cast<size_t>(tilerowbytes_ * r), 0,
                     columns * pixelbits_);
        }
    }
    bandstart_ = y_;
    bandrows_ = rows;
    return true;
}

std::string decodesamples(tiffstream& stream, uint64_t maxbytes, decodedpage& out) {
    TIFF* tif = stream.handle();
    uint16_t planar = PLANARCONFIG_CONTIG;
    out = decodedpage{};
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &out.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &out.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &out.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &out.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    if (out.width == 0 || out.height == 0 || out.samples == 0) {
        return "it has no pixels";
    }
    if (out.bits != 1 && out.bits != 2 && out.bits != 4 && out.bits != 8 && out.bits != 16) {
        return "its samples have " + std::to_string(out.bits) + " bits";
    }
    const uint64_t rowbytes = out.rowbytes();
    if (rowbytes > maxbytes / out.height) {
        return sizeerror(rowbytes, out.height, maxbytes);
    }
    const uint16_t planes = planar == PLANARCONFIG_SEPARATE ? out.samples : 1;
    // Grown row by row: a file that claims a large page but holds little
    // fails at its first damaged strip, not after a huge allocation.
    std::vector<std::vector<uint8_t>> rows(planes);
    for (uint16_t p = 0; p < planes; ++p) {
        tiffrows plane(stream, p, maxbytes);
        std::vector<uint8_t>& bytes = planes == 1 ? out.bytes : rows[p];
        bytes.reserve(static_cast<size_t>(plane.rowbytes() * out.height));
        for (const uint8_t* row = plane.next(); row != nullptr; row = plane.next()) {
            bytes.insert(bytes.end(), row, row + plane.rowbytes());
        }
        if (!plane.problem().empty()) {
            return plane.problem();
        }
    }
    if (planes == 1) {
        return {};
    }
    // Samples stored plane by plane go together, pixel by pixel.
    const uint64_t planerowbytes = (uint64_t{out.width} * out.bits + 7) / 8;
    out.bytes.assign(static_cast<size_t>(rowbytes * out.height), 0);
    for (uint32_t y = 0; y < out.height; ++y) {
        uint8_t* row = out.bytes.data() + static_cast<size_t>(rowbytes * y);
        for (uint16_t p = 0; p < planes; ++p) {
            const uint8_t* source = rows[p].data() + static_cast<size_t>(planerowbytes * y);
            for (uint32_t x = 0; x < out.width; ++x) {
                const size_t index = size_t{x} * out.samples + p;
                if (out.bits == 16) {
                    std::memcpy(row + 2 * index, source + 2 * size_t{x}, 2);
                } else {
                    // writepdfsample packs sub-byte samples as libtiff does.
                    writepdfsample(row, index, out.bits, readsample(source, x, out.bits));
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
