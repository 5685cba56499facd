// Scaling a page into a new colour (24-bit) bitmap.
#pragma once

#include "bitmap.h"

#include <optional>

namespace ovin::imaging {

// Largest side and pixel count of a scaled copy.
inline constexpr int32_t kMaxCopySide = 32768;
inline constexpr uint64_t kMaxCopyPixels = uint64_t{1} << 28;

// Scales src to width × height. Along an axis that shrinks, each output pixel
// is the average of the exact source area it covers (partly covered source
// pixels count by the covered fraction); along an axis that grows, samples
// are interpolated linearly between the two nearest source pixels. Nothing
// when a size is not positive or beyond the limits above.
std::optional<Bitmap> scaleToRgb(const Bitmap& src, int32_t width, int32_t height);

} // namespace ovin::imaging
