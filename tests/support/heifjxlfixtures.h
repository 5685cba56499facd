// HEIC and AVIF files made by libheif's encoders (x265 and aom, built into
// the system's libheif) and JPEG XL files made by libjxl's encoder, with how
// those libraries decode them, laid over white where transparent: the
// reference a rendered page is compared with.
#pragma once

#include "render.h"

#include <cstdint>
#include <vector>

namespace ovintest {

struct pictureoptions {
    int width = 48;
    int height = 32;
    bool alpha = false;    // a gradient of alpha
    bool grey = false;     // one colour channel (JPEG XL)
    int bits = 8;          // 8 or 16 (JPEG XL)
    bool lossless = false; // JPEG XL
    int orientation = 1;   // 1 to 8, written as the file's transform
};

// Empty when the encoder is missing (libheif built without it).
std::vector<uint8_t> makeheif(const pictureoptions& options, bool av1);
raster decodeheif(const std::vector<uint8_t>& file);

std::vector<uint8_t> makejxl(const pictureoptions& options);
// A JPEG file recompressed losslessly into JPEG XL.
std::vector<uint8_t> jxlfromjpeg(const std::vector<uint8_t>& jpeg);
raster decodejxl(const std::vector<uint8_t>& file);

} // namespace ovintest
