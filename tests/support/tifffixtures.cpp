#include "tifffixtures.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include <gtest/gtest.h>

namespace ovintest {

namespace {

struct tiffcloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using tiffhandle = std::unique_ptr<TIFF, tiffcloser>;

[[noreturn]] void refuse(const std::string& what, const std::string& path) {
    throw std::runtime_error("libtiff: " + what + " (" + path + ")");
}

// A small deterministic generator (xorshift), the same on every platform.
struct pattern {
    uint32_t state;
    explicit pattern(uint32_t seed) : state(seed * 2654435761u + 0x9E3779B9u) {
        if (state == 0) {
            state = 1;
        }
    }
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

void setpagetags(TIFF* tif, const tiffpage& page, uint32_t rows, uint16_t pageno, uint16_t pages) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, page.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, page.planar);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
    TIFFSetField(tif, TIFFTAG_FILLORDER, page.fillorder);
    if (page.tilewidth != 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, page.tilewidth);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, page.tilelength);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
    }
    if (page.compression == COMPRESSION_CCITTFAX3) {
        TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, page.t4options);
    }
    if (page.predictor != PREDICTOR_NONE) {
        TIFFSetField(tif, TIFFTAG_PREDICTOR, page.predictor);
    }
    if (page.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, page.jpegquality);
        if (page.photometric == PHOTOMETRIC_YCBCR) {
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
    } else if (page.photometric == PHOTOMETRIC_YCBCR) {
        TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, page.subsampling, page.subsampling);
    }
    if (!page.extrasamples.empty()) {
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(page.extrasamples.size()),
                     page.extrasamples.data());
    }
    if (page.orientation != 0) {
        TIFFSetField(tif, TIFFTAG_ORIENTATION, page.orientation);
    }
    if (!page.icc.empty()) {
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(page.icc.size()),
                     page.icc.data());
    }
    if (page.xres > 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, page.xres);
    }
    if (page.yres > 0) {
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, page.yres);
    }
    if (page.resunit != 0) {
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, page.resunit);
    }
    if (page.photometric == PHOTOMETRIC_PALETTE) {
        const size_t n = size_t{1} << page.bits;
        if (page.colormap.size() != 3 * n) {
            throw std::runtime_error("palette page needs 3 * 2^bits colour map values");
        }
        // libtiff takes non-const pointers but does not write through them.
        auto* map = const_cast<uint16_t*>(page.colormap.data());
        TIFFSetField(tif, TIFFTAG_COLORMAP, map, map + n, map + 2 * n);
    }
    if (pages > 1) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, pageno, pages);
    }
}

// Sample `index` of a row in the pixel layout.
uint32_t getsample(const uint8_t* row, size_t index, uint16_t bits) {
    if (bits == 16) {
        uint16_t v = 0;
        std::memcpy(&v, row + 2 * index, 2);
        return v;
    }
    const size_t bit = index * bits;
    return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1U << bits) - 1);
}

void putsample(uint8_t* row, size_t index, uint16_t bits, uint32_t value) {
    if (bits == 16) {
        const auto v = static_cast<uint16_t>(value);
        std::memcpy(row + 2 * index, &v, 2);
        return;
    }
    const size_t bit = index * bits;
    const auto shift = static_cast<unsigned>(8 - bits - bit % 8);
    const auto mask = static_cast<uint8_t>(((1U << bits) - 1) << shift);
    row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~mask) | ((value << shift) & mask));
}

// The data of one strip or tile: `rows` rows of `width` pixels from column
// x and row y (zeros past the page), all samples or those of one plane.
std::vector<uint8_t> blockdata(const tiffpage& page, int plane, uint32_t x, uint32_t y,
                               uint32_t width, uint32_t rows) {
    const uint16_t per = plane < 0 ? page.samples : 1;
    const size_t rowbytes = (size_t{width} * per * page.bits + 7) / 8;
    std::vector<uint8_t> out(rowbytes * rows, 0);
    for (uint32_t r = 0; r < rows && y + r < page.height; ++r) {
        const uint8_t* source = page.pixels.data() + size_t{y + r} * page.rowbytes();
        for (uint32_t c = 0; c < width && x + c < page.width; ++c) {
            for (uint16_t k = 0; k < per; ++k) {
                const size_t sample = size_t{x + c} * page.samples + (plane < 0 ? k : plane);
                putsample(out.data() + rowbytes * r, size_t{c} * per + k, page.bits,
                          getsample(source, sample, page.bits));
            }
        }
    }
    return out;
}

} // namespace

void fillpattern(tiffpage& page, uint32_t seed) {
    pattern noise(seed);
    const uint32_t rowbytes = page.rowbytes();
    page.pixels.assign(size_t{rowbytes} * page.height, 0);
    for (uint32_t y = 0; y < page.height; ++y) {
        uint8_t* row = page.pixels.data() + size_t{y} * rowbytes;
        if (page.bits == 1) {
            for (uint32_t x = 0; x < page.width; ++x) {
                // A frame, a diagonal, a block that moves with the seed and
                // sparse noise.
                const bool ink = x == 0 || y == 0 || x + 1 == page.width || y + 1 == page.height ||
                                 (x + seed) % 23 == y % 23 ||
                                 ((x / 8 + seed) % 5 == 0 && (y / 8) % 3 == 1) ||
                                 noise.next() % 97 == 0;
                if (ink) {
                    row[x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
                }
            }
        } else {
            // Smooth ramps with a little noise, at any depth; 16-bit samples
            // get a low byte unlike their high byte.
            for (uint32_t x = 0; x < page.width; ++x) {
                for (uint32_t s = 0; s < page.samples; ++s) {
                    const uint32_t v = ((x * (s + 1) * 3 + y * 2 + seed * 17 + (x / 5) * (y / 5)) +
                                        (noise.next() % 4)) &
                                       0xFF;
                    const uint32_t sample = page.bits == 16
                                                ? v << 8 | ((v * 37 + s * 11 + 5) & 0xFF)
                                                : v >> (8 - page.bits);
                    putsample(row, size_t{x} * page.samples + s, page.bits, sample);
                }
            }
        }
    }
    // Associated alpha: colours are already multiplied by it.
    const auto associated = std::find(page.extrasamples.begin(), page.extrasamples.end(), 1);
    if (associated == page.extrasamples.end()) {
        return;
    }
    const size_t alpha =
        page.samples - page.extrasamples.size() + (associated - page.extrasamples.begin());
    const uint32_t maximum = (1U << page.bits) - 1;
    for (uint32_t y = 0; y < page.height; ++y) {
        uint8_t* row = page.pixels.data() + size_t{y} * rowbytes;
        for (uint32_t x = 0; x < page.width; ++x) {
            const size_t first = size_t{x} * page.samples;
            const uint32_t a = getsample(row, first + alpha, page.bits);
            for (size_t c = 0; c < page.samples - page.extrasamples.size(); ++c) {
                putsample(row, first + c, page.bits,
                          getsample(row, first + c, page.bits) * a / maximum);
            }
        }
    }
}

tiffpage bilevelpage(uint32_t width, uint32_t height, uint16_t compression, uint32_t seed) {
    tiffpage page;
    page.width = width;
    page.height = height;
    page.compression = compression;
    page.photometric = compression == 1 ? 1 : 0;
    fillpattern(page, seed);
    return page;
}

tiffpage greypage(uint32_t width, uint32_t height, uint16_t compression, uint32_t seed) {
    tiffpage page;
    page.width = width;
    page.height = height;
    page.bits = 8;
    page.photometric = 1;
    page.compression = compression;
    fillpattern(page, seed);
    return page;
}

tiffpage rgbpage(uint32_t width, uint32_t height, uint32_t seed) {
    tiffpage page;
    page.width = width;
    page.height = height;
    page.bits = 8;
    page.samples = 3;
    page.photometric = 2;
    fillpattern(page, seed);
    return page;
}

tiffpage palettepage(uint32_t width, uint32_t height, uint32_t seed) {
    tiffpage page;
    page.width = width;
    page.height = height;
    page.bits = 8;
    page.photometric = 3;
    page.colormap.resize(3 * 256);
    for (uint32_t i = 0; i < 256; ++i) {
        page.colormap[i] = static_cast<uint16_t>(i * 257);               // red rises
        page.colormap[256 + i] = static_cast<uint16_t>((255 - i) * 257); // green falls
        page.colormap[512 + i] = static_cast<uint16_t>(((i * 7 + seed) & 255) * 257);
    }
    fillpattern(page, seed);
    return page;
}

void writetiff(const std::string& path, const std::vector<tiffpage>& pages, byteorder order,
               bool bigtiff) {
    std::string mode = order == byteorder::big ? "wb" : "wl";
    tiffhandle tif(TIFFOpen(path.c_str(), bigtiff ? (mode + "8").c_str() : mode.c_str()));
    if (!tif) {
        refuse("cannot create", path);
    }
    const auto count = static_cast<uint16_t>(pages.size());
    for (uint16_t n = 0; n < count; ++n) {
        const tiffpage& page = pages[n];
        const uint32_t rowbytes = page.rowbytes();
        if (page.height == 0 || page.pixels.size() < size_t{rowbytes} * page.height) {
            refuse("pixel buffer shorter than the page", path);
        }
        const uint32_t rows = page.rowsperstrip == 0 ? page.height : page.rowsperstrip;
        setpagetags(tif.get(), page, rows, n, count);
        const bool separate = page.planar == PLANARCONFIG_SEPARATE;
        const int planes = separate ? page.samples : 1;
        const bool rawycbcr =
            page.photometric == PHOTOMETRIC_YCBCR && page.compression != COMPRESSION_JPEG;
        size_t rawat = 0; // YCbCr samples as stored, taken in order
        for (int p = 0; p < planes; ++p) {
            const int plane = separate ? p : -1;
            if (page.tilewidth != 0) {
                for (uint32_t y = 0; y < page.height; y += page.tilelength) {
                    for (uint32_t x = 0; x < page.width; x += page.tilewidth) {
                        // libtiff may code the buffer in place, so it gets a copy.
                        auto tile = blockdata(page, plane, x, y, page.tilewidth, page.tilelength);
                        if (TIFFWriteEncodedTile(
                                tif.get(),
                                TIFFComputeTile(tif.get(), x, y, 0, static_cast<uint16_t>(p)),
                                tile.data(), static_cast<tmsize_t>(tile.size())) < 0) {
                            refuse("cannot write a tile", path);
                        }
                    }
                }
                continue;
            }
            const uint32_t strips = (page.height + rows - 1) / rows;
            for (uint32_t s = 0; s < strips; ++s) {
                const uint32_t first = s * rows;
                const uint32_t nrows = std::min(rows, page.height - first);
                std::vector<uint8_t> strip;
                if (rawycbcr) {
                    const auto size = static_cast<size_t>(TIFFVStripSize(tif.get(), nrows));
                    strip.assign(page.pixels.begin() + static_cast<ptrdiff_t>(rawat),
                                 page.pixels.begin() + static_cast<ptrdiff_t>(rawat + size));
                    rawat += size;
                } else {
                    strip = blockdata(page, plane, 0, first, page.width, nrows);
                }
                if (TIFFWriteEncodedStrip(tif.get(), p * strips + s, strip.data(),
                                          static_cast<tmsize_t>(strip.size())) < 0) {
                    refuse("cannot write strip " + std::to_string(s), path);
                }
            }
        }
        if (!TIFFWriteDirectory(tif.get())) {
            refuse("cannot write directory", path);
        }
    }
}

void writerawtiff(const std::string& path, const tiffpage& page, const std::vector<uint8_t>& data) {
    tiffhandle tif(TIFFOpen(path.c_str(), "wl"));
    if (!tif) {
        refuse("cannot create", path);
    }
    tiffpage tags = page;
    tags.fillorder = 1;
    setpagetags(tif.get(), tags, page.height, 0, 1);
    auto copy = data;
    if (TIFFWriteRawStrip(tif.get(), 0, copy.data(), static_cast<tmsize_t>(copy.size())) < 0) {
        refuse("cannot write raw strip", path);
    }
}

std::vector<uint8_t> decodetiff(const std::string& path, uint16_t page) {
    tiffhandle tif(TIFFOpen(path.c_str(), "r"));
    if (!tif) {
        refuse("cannot open", path);
    }
    if (page == 0 || !TIFFSetDirectory(tif.get(), static_cast<tdir_t>(page - 1))) {
        refuse("no page " + std::to_string(page), path);
    }
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    const size_t rowbytes = (size_t{width} * bits * samples + 7) / 8;
    const size_t want = rowbytes * height;
    std::vector<uint8_t> out;
    out.reserve(want);
    std::vector<uint8_t> strip(static_cast<size_t>(TIFFStripSize(tif.get())));
    const uint32_t strips = TIFFNumberOfStrips(tif.get());
    for (uint32_t s = 0; s < strips && out.size() < want; ++s) {
        const tmsize_t got =
            TIFFReadEncodedStrip(tif.get(), s, strip.data(), static_cast<tmsize_t>(strip.size()));
        if (got < 0) {
            refuse("cannot decode strip " + std::to_string(s), path);
        }
        out.insert(out.end(), strip.begin(), strip.begin() + got);
    }
    if (out.size() < want) {
        refuse("page data ends early", path);
    }
    out.resize(want);
    return out;
}

std::vector<uint8_t> tiffrawdata(const std::string& path, uint16_t page) {
    tiffhandle tif(TIFFOpen(path.c_str(), "r"));
    if (!tif) {
        refuse("cannot open", path);
    }
    if (page == 0 || !TIFFSetDirectory(tif.get(), static_cast<tdir_t>(page - 1))) {
        refuse("no page " + std::to_string(page), path);
    }
    std::vector<uint8_t> out;
    const bool tiled = TIFFIsTiled(tif.get()) != 0;
    const uint32_t strips = tiled ? TIFFNumberOfTiles(tif.get()) : TIFFNumberOfStrips(tif.get());
    for (uint32_t s = 0; s < strips; ++s) {
        const uint64_t size = TIFFGetStrileByteCount(tif.get(), s);
        std::vector<uint8_t> strip(static_cast<size_t>(size));
        const auto n = static_cast<tmsize_t>(size);
        if (size > 0 && (tiled ? TIFFReadRawTile(tif.get(), s, strip.data(), n)
                               : TIFFReadRawStrip(tif.get(), s, strip.data(), n)) < 0) {
            refuse("cannot read strip " + std::to_string(s), path);
        }
        out.insert(out.end(), strip.begin(), strip.end());
    }
    return out;
}

std::map<std::string, std::vector<uint8_t>> tiffsamples() {
    const tiffscratch dir;
    std::map<std::string, std::vector<uint8_t>> samples;
    const auto viatiff = [&](const std::string& name, const std::vector<tiffpage>& pages,
                             byteorder order) {
        writetiff(dir.path(name), pages, order);
        samples[name] = tifffilebytes(dir.path(name));
    };
    viatiff("g4_two_pages.tif", {bilevelpage(64, 32, 4, 1), bilevelpage(40, 20, 4, 2)},
            byteorder::little);
    auto g3 = bilevelpage(48, 24, 3, 3);
    g3.t4options = 1;
    g3.fillorder = 2;
    g3.rowsperstrip = 8;
    viatiff("g3_2d_fill2_strips_be.tif", {g3}, byteorder::big);
    viatiff("huffman.tif", {bilevelpage(40, 16, 2, 4)}, byteorder::little);
    auto grey = greypage(16, 12, 32773, 5);
    grey.xres = grey.yres = 118;
    grey.resunit = 3;
    viatiff("packbits_grey_cm.tif", {grey}, byteorder::big);
    auto rgb = rgbpage(8, 6, 6);
    rgb.rowsperstrip = 2;
    viatiff("rgb_strips.tif", {rgb}, byteorder::little);
    auto palette = palettepage(8, 4, 7);
    palette.bits = 4;
    palette.colormap.resize(3 * 16);
    fillpattern(palette, 7);
    viatiff("palette4.tif", {palette}, byteorder::little);

    {
        tiffbuilder b(byteorder::big);
        const uint32_t jpeg = b.append({0xFF, 0xD8, 0xFF, 0xDB, 0, 4, 1, 2});
        const uint32_t strip = b.append({1, 2, 3, 4, 5, 6, 7, 8, 9});
        b.shorts(256, {16}).shorts(257, {8}).shorts(258, {8, 8, 8}).shorts(259, {6});
        b.shorts(262, {6});
        b.shorts(273, {static_cast<uint16_t>(strip), static_cast<uint16_t>(strip + 4)});
        b.shorts(277, {3}).shorts(278, {4}).shorts(279, {4, 5}).rational(282, 599, 2);
        b.rational(283, 599, 2).shorts(296, {3}).longs(513, {jpeg}).longs(514, {8});
        b.endifd();
        samples["ojpeg_short_strips_be.tif"] = b.bytes();
    }
    {
        tiffbuilder b;
        const uint32_t strip = b.append({0x00, 0xFF, 0x0F, 0xF0});
        b.shorts(256, {16}).shorts(257, {2}).shorts(259, {1}).longs(273, {strip});
        b.longs(279, {40}).rational(282, 300, 1);
        const uint32_t first = b.endifd();
        b.shorts(256, {8}).shorts(257, {1}).shorts(259, {4}).longs(273, {strip}).longs(279, {1});
        const uint32_t second = b.endifd();
        b.put32(b.nextfield(second), first);
        samples["loop_cut_strip.tif"] = b.bytes();
    }
    return samples;
}

std::vector<uint8_t> tifffilebytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void tiffsavebytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

tiffbuilder::tiffbuilder(byteorder order) : big_(order == byteorder::big) {
    bytes_ = big_ ? std::vector<uint8_t>{'M', 'M'} : std::vector<uint8_t>{'I', 'I'};
    const auto magic = encode16(42);
    bytes_.insert(bytes_.end(), magic.begin(), magic.end());
    bytes_.resize(8, 0); // first directory offset: 0 until a directory is ended
}

std::vector<uint8_t> tiffbuilder::encode16(uint16_t value) const {
    const auto hi = static_cast<uint8_t>(value >> 8);
    const auto lo = static_cast<uint8_t>(value);
    return big_ ? std::vector<uint8_t>{hi, lo} : std::vector<uint8_t>{lo, hi};
}

std::vector<uint8_t> tiffbuilder::encode32(uint32_t value) const {
    std::vector<uint8_t> out(4);
    for (int i = 0; i < 4; ++i) {
        const auto b = static_cast<uint8_t>(value >> (8 * i));
        out[big_ ? 3 - i : i] = b;
    }
    return out;
}

uint32_t tiffbuilder::append(const std::vector<uint8_t>& bytes) {
    if (bytes_.size() % 2 != 0) {
        bytes_.push_back(0);
    }
    const auto at = static_cast<uint32_t>(bytes_.size());
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return at;
}

tiffbuilder& tiffbuilder::addentry(uint16_t tag, uint16_t type, uint32_t count,
                                   std::vector<uint8_t> data) {
    entry e{tag, type, count, {}};
    if (data.size() <= 4) {
        data.resize(4, 0);
        e.field = std::move(data);
    } else {
        e.field = encode32(append(data));
    }
    entries_.push_back(std::move(e));
    return *this;
}

tiffbuilder& tiffbuilder::shorts(uint16_t tag, const std::vector<uint16_t>& values) {
    std::vector<uint8_t> data;
    for (uint16_t v : values) {
        const auto e = encode16(v);
        data.insert(data.end(), e.begin(), e.end());
    }
    return addentry(tag, SHORT, static_cast<uint32_t>(values.size()), std::move(data));
}

tiffbuilder& tiffbuilder::longs(uint16_t tag, const std::vector<uint32_t>& values) {
    std::vector<uint8_t> data;
    for (uint32_t v : values) {
        const auto e = encode32(v);
        data.insert(data.end(), e.begin(), e.end());
    }
    return addentry(tag, LONG, static_cast<uint32_t>(values.size()), std::move(data));
}

tiffbuilder& tiffbuilder::rational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
    auto data = encode32(numerator);
    const auto den = encode32(denominator);
    data.insert(data.end(), den.begin(), den.end());
    entries_.push_back({tag, RATIONAL, 1, encode32(append(data))});
    return *this;
}

tiffbuilder& tiffbuilder::raw(uint16_t tag, uint16_t type, uint32_t count, uint32_t field) {
    entries_.push_back({tag, type, count, encode32(field)});
    return *this;
}

uint32_t tiffbuilder::endifd() {
    std::vector<uint8_t> ifd = encode16(static_cast<uint16_t>(entries_.size()));
    for (const entry& e : entries_) {
        for (const auto& part : {encode16(e.tag), encode16(e.type), encode32(e.count), e.field}) {
            ifd.insert(ifd.end(), part.begin(), part.end());
        }
    }
    ifd.resize(ifd.size() + 4, 0);
    const uint32_t at = append(ifd);
    put32(linkat_, at);
    linkat_ = nextfield(at);
    entries_.clear();
    return at;
}

uint32_t tiffbuilder::nextfield(uint32_t ifd) const {
    const uint32_t count = big_ ? (uint32_t{bytes_.at(ifd)} << 8 | bytes_.at(ifd + 1))
                                : (uint32_t{bytes_.at(ifd + 1)} << 8 | bytes_.at(ifd));
    return ifd + 2 + 12 * count;
}

void tiffbuilder::put16(uint32_t at, uint16_t value) {
    const auto e = encode16(value);
    std::copy(e.begin(), e.end(), bytes_.begin() + at);
}

void tiffbuilder::put32(uint32_t at, uint32_t value) {
    const auto e = encode32(value);
    std::copy(e.begin(), e.end(), bytes_.begin() + at);
}

void tiffbuilder::save(const std::string& path) const {
    tiffsavebytes(path, bytes_);
}

} // namespace ovintest
