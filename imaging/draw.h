// Drawing a page into a caller's 32-bit pixel surface.
#pragma once

#include "bitmap.h"
#include "imaging.h"

namespace ovin::imaging {

// Stretches src into rect (nearest source pixel for each target pixel),
// clipped to the surface. Pixels are written as 0xFFRRGGBB. False for a
// surface that cannot be written (no pixels, a stride shorter than a row);
// an empty or fully clipped rectangle draws nothing and succeeds.
bool drawStretched(const Bitmap& src, const ImgSurface& surface, const ImgRect& rect);

} // namespace ovin::imaging
