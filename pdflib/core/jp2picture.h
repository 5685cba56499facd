// A JPEG 2000 page (a JP2 file or a bare codestream) decoded for showing,
// through OpenJPEG, at the smallest of its resolution levels that still
// gives the size asked for.
#pragma once

#include "bitmap.h"
#include "status.h"

#include <cstdint>
#include <string>

namespace ovin {

// The picture of the file `name` (shown as `shown` in messages) as 8-bit
// RGB, its longer side reduced by whole resolution levels while it stays
// at least `maxside`.
status jp2picture(const std::string& name, const std::string& shown, uint32_t maxside,
                  imaging::Bitmap& out);

} // namespace ovin
