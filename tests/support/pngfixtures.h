// PNG and JPEG 2000 test files made with libpng and OpenJPEG (lossless),
// and what those libraries decode from a file, as the reference a rendered
// page is compared with.
//
//   ovintest::pngoptions o;              // 8-bit RGB, 50 x 25, a pattern
//   o.colourtype = PNG_COLOR_TYPE_PALETTE; o.depth = 4;
//   std::vector<uint8_t> file = ovintest::makepng(o);
//   ovintest::raster look = ovintest::decodepng(file);   // RGB over white
#pragma once

#include "render.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovintest {

struct pngoptions {
    uint32_t width = 50;
    uint32_t height = 25;
    int colourtype = 2; // PNG_COLOR_TYPE_*
    int depth = 8;
    bool interlaced = false;
    bool transparency = false; // a tRNS chunk: palette alphas, or pixel 0's colour as the key
    uint32_t ppm = 0;          // pHYs in pixels per metre (0: no chunk)
    std::vector<uint8_t> icc;  // an iCCP chunk holding this profile
    int orientation = 0;       // an eXIf chunk with this Orientation (0: none)
};

// Palettes have 200 entries at 8 bits, 2^depth below.
std::vector<uint8_t> makepng(const pngoptions& options);

// The pixels as 8-bit RGB (16-bit samples by their high byte), composited
// over white where the file has transparency. Throws when libpng fails.
raster decodepng(const std::vector<uint8_t>& file);

struct jp2options {
    uint32_t width = 50;
    uint32_t height = 25;
    int components = 3;       // 1 grey, 3 RGB
    bool codestream = false;  // a bare codestream (J2K) rather than a JP2 file
    uint16_t displaydpi = 0;  // a resd box with this resolution (0: none)
    uint16_t capturedpi = 0;  // a resc box
    std::vector<uint8_t> icc; // a colr box with this profile
};

std::vector<uint8_t> makejp2(const jp2options& options);
// The pixels as 8-bit RGB. Throws when OpenJPEG fails.
raster decodejp2(const std::vector<uint8_t>& file);

// An ICC profile made by LittleCMS: sRGB, or grey with the sRGB curve.
std::vector<uint8_t> iccprofile(bool grey);

} // namespace ovintest
