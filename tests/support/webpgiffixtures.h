// WebP files made by libwebp's encoders (WebPAnimEncoder for animations,
// libwebpmux for ICC and EXIF chunks) and GIF files made by giflib, with
// how those libraries decode them: every frame composed on the canvas and
// laid over white where it is transparent, as the reference a rendered
// page is compared with.
#pragma once

#include "render.h"

#include <cstdint>
#include <vector>

namespace ovintest {

struct webpoptions {
    int width = 40;
    int height = 24;
    bool lossless = false;
    bool alpha = false;        // a gradient of alpha
    int frames = 0;            // above 0: an animation of this many frames
    std::vector<uint8_t> icc;  // an ICCP chunk
    std::vector<uint8_t> exif; // an EXIF chunk (a TIFF structure)
};
std::vector<uint8_t> makewebp(const webpoptions& options);

// Every frame as libwebp's animation decoder composes it, over white.
std::vector<raster> decodewebp(const std::vector<uint8_t>& file);

struct gifframe {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> palette; // a local colour table (RGB triplets); empty: the global one
    int transparent = -1;         // the transparent index, -1 none
    int disposal = 0;             // 0 to 3
    bool interlaced = false;
    int seed = 0; // which pattern of indices
};
struct gifoptions {
    int width = 40;
    int height = 24;
    std::vector<uint8_t> palette; // the global colour table; 2^n entries
    std::vector<gifframe> frames;
};
std::vector<uint8_t> makegif(const gifoptions& options);

// Every frame as giflib reads it, composed on the screen as browsers do
// (from a transparent screen), over white.
std::vector<raster> decodegif(const std::vector<uint8_t>& file);

} // namespace ovintest
