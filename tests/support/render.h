// Rendering written PDF pages with the two independent readers, poppler
// (pdftoppm) and MuPDF (mutool draw), into plain pixel rasters that tests
// compare with the source image.
#pragma once

#include "tifffixtures.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovintest {

struct raster {
    int width = 0;
    int height = 0;
    int channels = 0;            // 1 grey, 3 RGB, 4 CMYK
    std::vector<uint8_t> pixels; // rows top first, channels interleaved
    std::string error;           // why there is no picture
};

// How a TIFF page looks: grey levels (one channel) for grey and bilevel
// pages, RGB for colour and palette pages.
raster appearance(const tiffpage& page);

// How libtiff's RGBA reader shows page `page` of a TIFF file, turned
// upright by the page's Orientation and laid over white where it has
// alpha: grey (channels 1) or RGB.
raster tiffappearance(const std::string& path, uint16_t page, int channels);

// The samples of a TIFF page as libtiff decodes them (8-bit samples, any
// number per pixel), rows as stored.
raster storedsamples(const std::string& path, uint16_t page);

// Reads a binary PGM (P5) or PPM (P6) file of depth 255, or a PAM (P7).
raster readpnm(const std::string& path);

enum class reader { poppler, mupdf };
const char* readername(reader r);

// Renders page `page` (1-based) at `dpi` without anti-aliasing, in grey
// (channels 1) or RGB (channels 3).
raster renderpage(reader r, const std::string& pdf, int page, int dpi, int channels);

// The CMYK samples of a page's image. MuPDF renders the page in CMYK, at
// dpi, and every factor-th pixel is taken; poppler renders RGB only, so its
// decoding of the image (pdfimages) is given, at the image's own size.
raster cmykpage(reader r, const std::string& pdf, int page, int dpi, int factor);

// Every factor-th pixel, from the middle of each factor x factor block: a
// page rendered at an exact multiple of its image's resolution back at the
// image's own size.
raster sampled(const raster& image, int factor);

struct difference {
    int maximum = 0;    // largest absolute difference of one sample
    double mean = 0;    // mean absolute difference over all samples
    long differing = 0; // samples that differ at all
    std::string error;  // size or channel mismatch
};
difference compare(const raster& a, const raster& b);

} // namespace ovintest
