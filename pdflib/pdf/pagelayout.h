// Where an image page's picture goes: the page's media box, the matrix
// that paints the image upright (mirrored where its orientation asks,
// turned by the page's /Rotate), fitted and centred on a page of a chosen
// size with margins. Without a chosen size or margins the page is the
// image's own size, exactly as the classic pages are.
#pragma once

#include "core/options.h"
#include "readers/imagedesc.h"

#include <string>
#include <string_view>

namespace ovin {

// An affine map of PDF: x' = a x + c y + e, y' = b x + d y + f.
struct affine {
    long double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    affine then(const affine& next) const; // this map, then the next
    long double x(long double u, long double v) const { return a * u + c * v + e; }
    long double y(long double u, long double v) const { return b * u + d * v + f; }
};

struct pageplacement {
    std::string mediabox; // "[0 0 W H ]"
    std::string content;  // the content stream: "q ... cm NAME Do Q"
    int rotate = 0;       // the page's /Rotate, 0 for none
    // The same in numbers: the media box's size and the matrix that maps
    // the image's unit square onto the page.
    long double width = 0;
    long double height = 0;
    affine image;
};

// `name` is the image's resource name ("/KTR2").
pageplacement placeimage(const imagedesc& image, const pagelayout& layout, const std::string& name);

// A page size from its name (A0 to A6, B0 to B6, C4 to C6, Letter, Legal,
// Tabloid, in any letter case) or as WIDTHxHEIGHT with a unit (mm, cm, in or
// pt) after each number or at the end ("210x297mm", "8.5inx11in"), into
// points. False for anything else, or a size outside 3 points to 200 inches.
bool parsepagesize(std::string_view text, double& width, double& height);

} // namespace ovin
