// libFuzzer target for the document face's BMP reader, reading the input
// from memory and decoding its pixels with the library's own bounds, so that
// a blow-up is a finding of -rss_limit_mb.
#include "readers/bmp.h"
#include "readers/bytesource.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source(std::span<const uint8_t>(data, size));
    ovin::imagedesc page;
    if (!ovin::readbmpdocument(source, "fuzz.bmp", ovin::imagedata::read, page).ok()) {
        return 0;
    }
    // An accepted page has pixels, a palette PDF can hold and a mask of its own size.
    const bool indexed = page.colour == ovin::colourspace::indexed;
    if (page.width <= 0 || page.height <= 0 || page.data.empty() ||
        (indexed &&
         (page.palette.empty() || page.palette.size() > 256 * 3 || page.palette.size() % 3 != 0)) ||
        (page.softmask && (page.softmask->width != page.width ||
                           page.softmask->height != page.height || page.softmask->data.empty()))) {
        __builtin_trap();
    }
    return 0;
}
