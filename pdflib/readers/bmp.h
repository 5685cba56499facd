// Windows bitmap pages of the document face, read from any byte source
// (files, and memory for the fuzz targets).
#pragma once

#include "readers/imagedesc.h"
#include "readers/registry.h"
#include "status.h"

#include <cstdint>
#include <string>

namespace ovin {

class bytesource;

// The most bytes a bitmap's decoded pixels may take: larger pages are
// refused before anything is allocated.
inline constexpr uint64_t kMaxBmpDecoded = uint64_t{1} << 32;

// Describes the bitmap held by `source` as the page of the file `name`
// (used in messages). Palette images (1, 2, 4 and 8 bits, also run-length
// coded) keep their indices with an indexed colour space; 16- and 32-bit
// images (bit fields) and 24-bit ones become 8-bit RGB, with a soft mask
// where an alpha channel holds something. Unless `mode` is skip, the data is
// the pixels top row first, uncompressed. `maxdecoded` bounds the
// decoded pixels (see kMaxBmpDecoded).
status readbmpdocument(bytesource& source, const std::string& name, imagedata mode, imagedesc& out,
                       uint64_t maxdecoded = kMaxBmpDecoded);

} // namespace ovin
