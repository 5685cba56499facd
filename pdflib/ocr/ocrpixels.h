// An image page as the text recogniser sees it: its pixels as 8-bit grey,
// at the page's own resolution, turned and mirrored as the page shows
// them (its orientation, the layout's rotation, its /Rotate), and the map
// from those pixels back onto the page, where the text layer goes.
#pragma once

#include "core/options.h"
#include "pdf/pagelayout.h"
#include "readers/imagedesc.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

// How a page shows its image: the shown picture's size in pixels, where
// each of its pixels comes from in the stored image, and the matrix from
// shown pixels (x to the right, y up from the bottom row) to the page's
// user space.
struct ocrview {
    int32_t width = 0; // shown pixels
    int32_t height = 0;
    // Stored pixel (sx, sy) of shown pixel (x, y), rows counted from the
    // top: sx = xx x + xy y + x0, sy = yx x + yy y + y0.
    int32_t xx = 1, xy = 0, yx = 0, yy = 1;
    int64_t x0 = 0, y0 = 0;
    affine touser;
};

ocrview viewof(const imagedesc& image, const pagelayout& layout);

// The page's pixels as 8-bit grey rows of view.width bytes, top row first,
// as shown (a bilevel page too: the recogniser wants 8 bits). Decodes the
// data as the page holds it before its coding for the PDF: samples of any
// depth and colour, JPEG (libjpeg-turbo), CCITT (libtiff), Flate with its
// predictor. Empty on success, else why the page cannot be read (a coding
// that is not decoded here, damaged data).
std::string greypixels(const imagedesc& image, const ocrview& view, std::vector<uint8_t>& out);

// An orientation turned a further `degrees` clockwise (0, 90, 180, 270).
orientation turned(orientation upright, int degrees);

} // namespace ovin
