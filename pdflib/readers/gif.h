// GIF pages for the document face, decoded by giflib: every frame a page,
// composed on the logical screen as browsers show it (transparent index,
// disposal methods, frames smaller than the screen, interlaced frames,
// local and global colour tables). Pages are lossless: indexed with the
// colours they show where every pixel is opaque and they use at most 256,
// else RGB with a soft mask where pixels stay transparent.
#pragma once

#include "readers/registry.h"

namespace ovin {

// Reads page `request.page` of the GIF file into `out`. GIF carries no
// resolution: it is left at 0.
status readgifpage(const readrequest& request, imagedesc& out);

} // namespace ovin
