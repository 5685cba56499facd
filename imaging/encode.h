// Encoding a page bitmap as a complete TIFF or JPEG file in memory, under the
// write options of an option block.
#pragma once

#include "bitmap.h"
#include "options.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace ovin::imaging {

// TIFF: COMPRESS = ON|OFF; TIFF_COMPRESS = GROUP4 | GROUP3 | PACKBITS | LZW
// | NONE (CCITT codings for 1-bit pages only); TIFF_ROWSPERSTRIP = n (absent,
// not positive or past the height: one strip). Samples and photometric are
// written as the page holds them. Nothing for a combination that cannot be
// written.
std::optional<std::vector<uint8_t>> encodeTiff(const Bitmap& page, const OptionBlock& options);

// JPEG: LOSSY_QUALITY = 1..100 (75 when absent), JPEG_OPTIMIZE_CODING =
// ON|OFF. Grey pages (1 or 8 bits) give one component, everything else three.
std::optional<std::vector<uint8_t>> encodeJpeg(const Bitmap& page, const OptionBlock& options);

} // namespace ovin::imaging
