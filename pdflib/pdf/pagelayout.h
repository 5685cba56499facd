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

struct pageplacement {
    std::string mediabox; // "[0 0 W H ]"
    std::string content;  // the content stream: "q ... cm NAME Do Q"
    int rotate = 0;       // the page's /Rotate, 0 for none
};

// `name` is the image's resource name ("/KTR2").
pageplacement placeimage(const imagedesc& image, const pagelayout& layout, const std::string& name);

// A page size from its name (A0 to A6, B0 to B6, C4 to C6, Letter, Legal,
// Tabloid, in any letter case) or as WIDTHxHEIGHT with a unit (mm, cm, in or
// pt) after each number or at the end ("210x297mm", "8.5inx11in"), into
// points. False for anything else, or a size outside 3 points to 200 inches.
bool parsepagesize(std::string_view text, double& width, double& height);

} // namespace ovin
