// A page written as a TIFF file: one directory, rows in as many strips as
// asked (one by default), samples and photometric exactly as the page holds
// them, so a converted page keeps the meaning of its bits. The coded data
// goes to the file through a small buffer as the rows come in.
#include "encode.h"
#include "readers/tiff/tiffstream.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace ovin::imaging {

namespace {

std::optional<uint16_t> chooseCompression(const PageFormat& page, const OptionBlock& options) {
    const auto scheme = options.text("TIFF_COMPRESS");
    const auto compress = options.flag("COMPRESS");
    if (options.text("COMPRESS") && !compress) {
        return std::nullopt; // neither ON nor OFF
    }
    if (!compress.value_or(scheme.has_value())) {
        return COMPRESSION_NONE;
    }
    const bool bilevel = page.bits == 1 && !page.hasPalette();
    if (!scheme || scheme->empty()) {
        return bilevel ? COMPRESSION_CCITTFAX4 : COMPRESSION_PACKBITS;
    }
    const std::string name = upperAscii(*scheme);
    if (name == "GROUP4" || name == "G4") {
        return bilevel ? std::optional<uint16_t>(COMPRESSION_CCITTFAX4) : std::nullopt;
    }
    if (name == "GROUP3" || name == "G3") {
        return bilevel ? std::optional<uint16_t>(COMPRESSION_CCITTFAX3) : std::nullopt;
    }
    if (name == "PACKBITS") {
        return COMPRESSION_PACKBITS;
    }
    if (name == "LZW") {
        return COMPRESSION_LZW;
    }
    if (name == "NONE") {
        return COMPRESSION_NONE;
    }
    return std::nullopt;
}

bool setColormap(TIFF* tif, const std::vector<Rgb>& palette, int bits) {
    const size_t n = size_t{1} << bits;
    std::vector<uint16_t> r(n, 0);
    std::vector<uint16_t> g(n, 0);
    std::vector<uint16_t> b(n, 0);
    for (size_t i = 0; i < std::min(n, palette.size()); ++i) {
        r[i] = static_cast<uint16_t>(palette[i].r * 257);
        g[i] = static_cast<uint16_t>(palette[i].g * 257);
        b[i] = static_cast<uint16_t>(palette[i].b * 257);
    }
    return TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data()) == 1;
}

bool writeTags(TIFF* tif, const PageFormat& page, uint16_t compression, uint32_t rowsPerStrip) {
    const bool colour = page.bits >= 24;
    const uint16_t bps = page.bits == 1 ? 1 : 8;
    const uint16_t spp = colour ? 3 : 1;
    uint16_t photometric = PHOTOMETRIC_RGB;
    if (!colour) {
        photometric = page.hasPalette()                            ? PHOTOMETRIC_PALETTE
                      : page.photometric == kPhotometricMinIsWhite ? PHOTOMETRIC_MINISWHITE
                                                                   : PHOTOMETRIC_MINISBLACK;
    }
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(page.width)) == 1 &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(page.height)) == 1 &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps) == 1 &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp) == 1 &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, compression) == 1 &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric) == 1 &&
              TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) == 1 &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1 &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) == 1 &&
              TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) == 1;
    if (ok && compression == COMPRESSION_CCITTFAX3) {
        // One-dimensional coding, no fill bits before the EOLs.
        ok = TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, uint32_t{0}) == 1;
    }
    if (ok && photometric == PHOTOMETRIC_PALETTE) {
        ok = setColormap(tif, page.palette, bps);
    }
    if (ok && (page.xdpi > 0 || page.ydpi > 0)) {
        const float x = static_cast<float>(page.xdpi > 0 ? page.xdpi : page.ydpi);
        const float y = static_cast<float>(page.ydpi > 0 ? page.ydpi : page.xdpi);
        ok = TIFFSetField(tif, TIFFTAG_XRESOLUTION, x) == 1 &&
             TIFFSetField(tif, TIFFTAG_YRESOLUTION, y) == 1 &&
             TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) == 1;
    }
    return ok;
}

// libtiff's own buffer would hold a whole strip, which for a one-strip page
// is the whole page coded; this much is flushed to the file at a time.
constexpr tmsize_t kWriteBuffer = 256 * 1024;

} // namespace

std::optional<TiffSettings> tiffSettings(const PageFormat& page, const OptionBlock& options) {
    if (page.width <= 0 || page.height <= 0) {
        return std::nullopt;
    }
    const auto compression = chooseCompression(page, options);
    if (!compression) {
        return std::nullopt;
    }
    const int rows = options.number("TIFF_ROWSPERSTRIP").value_or(0);
    TiffSettings settings;
    settings.compression = *compression;
    settings.rowsPerStrip =
        static_cast<uint32_t>(rows > 0 && rows < page.height ? rows : page.height);
    return settings;
}

bool encodeTiff(RowSource& rows, const TiffSettings& settings, int fd) {
    const PageFormat& page = rows.format();
    tiffstream stream(fd);
    TIFF* tif = stream.handle();
    if (tif == nullptr || !writeTags(tif, page, settings.compression, settings.rowsPerStrip) ||
        TIFFWriteBufferSetup(tif, nullptr, kWriteBuffer) != 1 || !rows.rewind()) {
        return false;
    }
    // Rows go through a scratch line: codecs may work on the buffer in place.
    const size_t lineBytes = page.bits == 32 ? static_cast<size_t>(page.width) * 3 : page.stride;
    if (static_cast<uint64_t>(TIFFScanlineSize64(tif)) != lineBytes) {
        return false;
    }
    std::vector<uint8_t> line(lineBytes);
    for (int32_t y = 0; y < page.height; ++y) {
        const uint8_t* row = rows.next();
        if (row == nullptr) {
            return false;
        }
        if (page.bits == 32) {
            rowToRgb(page, row, line.data());
        } else {
            std::memcpy(line.data(), row, lineBytes);
        }
        if (TIFFWriteScanline(tif, line.data(), static_cast<uint32_t>(y), 0) != 1) {
            return false;
        }
    }
    return TIFFWriteDirectory(tif) == 1;
}

} // namespace ovin::imaging
