// Reads the few facts a page needs from an EXIF block (the TIFF structure
// that JPEG files carry in APP1 and PNG files in eXIf): the orientation and
// the resolution of the first directory. The block is untrusted: every
// offset and count is checked against it, and a fact that cannot be read is
// simply not there.
#pragma once

#include <cstdint>
#include <span>

namespace ovin {

struct exiffacts {
    uint8_t orientation = 0; // the Orientation tag, 1 to 8; 0 when missing or invalid
    uint16_t xdpi = 0;       // dots per inch; 0 when the block gives none (or no unit)
    uint16_t ydpi = 0;
};

// `block` is the TIFF structure from its byte-order mark ("II" or "MM"),
// optionally preceded by the "Exif\0\0" identifier of a JPEG APP1 segment.
exiffacts readexif(std::span<const uint8_t> block);

} // namespace ovin
