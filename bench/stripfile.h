// Writing large or many-paged TIFF files for the benchmarks straight
// through libtiff, one strip at a time, so that the benchmark process never
// holds a page (its resident memory is part of every child's peak).
#pragma once

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ovinbench {

struct strippage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bits = 1;              // 1 or 8
    uint16_t photometric = 0;       // 0 min-is-white, 1 min-is-black, 3 palette
    uint16_t compression = 1;       // 1 none, 4 Group 4, 32773 PackBits
    uint32_t rowsperstrip = 64;     // less than the height: the page is re-encoded
    std::vector<uint16_t> colormap; // photometric 3: 768 values, all R, then G, then B
    std::function<void(uint32_t y, uint8_t* row)> fill; // one packed row
};

// Writes the pages into one file; false when libtiff refuses.
inline bool writestripfile(const std::string& path, const std::vector<strippage>& pages) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (tif == nullptr) {
        return false;
    }
    bool ok = true;
    for (const strippage& p : pages) {
        ok = ok && TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width) == 1 &&
             TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height) == 1 &&
             TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bits) == 1 &&
             TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1}) == 1 &&
             TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression) == 1 &&
             TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.photometric) == 1 &&
             TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.rowsperstrip) == 1 &&
             TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0F) == 1 &&
             TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.0F) == 1 &&
             TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) == 1;
        if (ok && p.photometric == PHOTOMETRIC_PALETTE) {
            ok = p.colormap.size() == 768 &&
                 TIFFSetField(tif, TIFFTAG_COLORMAP, p.colormap.data(), p.colormap.data() + 256,
                              p.colormap.data() + 512) == 1;
        }
        const size_t rowbytes = (static_cast<size_t>(p.width) * p.bits + 7) / 8;
        std::vector<uint8_t> strip(rowbytes * p.rowsperstrip);
        for (uint32_t y = 0, s = 0; ok && y < p.height; y += p.rowsperstrip, ++s) {
            const uint32_t rows = std::min(p.rowsperstrip, p.height - y);
            for (uint32_t r = 0; r < rows; ++r) {
                p.fill(y + r, strip.data() + r * rowbytes);
            }
            ok = TIFFWriteEncodedStrip(tif, s, strip.data(),
                                       static_cast<tmsize_t>(rows * rowbytes)) >= 0;
        }
        ok = ok && TIFFWriteDirectory(tif) == 1;
    }
    TIFFClose(tif);
    return ok;
}

// The bytes of the coded strips of the file's first page.
inline uint64_t stripbytes(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) {
        return 0;
    }
    uint64_t total = 0;
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
        total += static_cast<uint64_t>(TIFFRawStripSize64(tif, s));
    }
    TIFFClose(tif);
    return total;
}

} // namespace ovinbench
