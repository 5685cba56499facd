// WebP pages for the document face, decoded by libwebp: simple lossy (VP8)
// and lossless (VP8L) files, extended ones with alpha, ICC profile and EXIF
// (its resolution and orientation), and animations, each frame a page
// composed on the canvas as a viewer shows it.
#pragma once

#include "readers/registry.h"

namespace ovin {

// Reads page `request.page` of the WebP file into `out`. Samples are 8-bit
// RGB with alpha as a soft mask; those of a lossy coding are marked as such
// (lossycoding "WebP"), lossless ones are not.
status readwebppage(const readrequest& request, imagedesc& out);

} // namespace ovin
