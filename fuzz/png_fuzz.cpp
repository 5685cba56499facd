// libFuzzer target for the PNG reader, read from memory: the description
// alone, then the page with its data (inflated and checked, or decoded by
// libpng).
#include "readers/png.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source({data, size});
    ovin::imagedesc page;
    if (!ovin::readpngpage(source, "fuzz", ovin::imagedata::skip, page).ok()) {
        return 0;
    }
    if (ovin::readpngpage(source, "fuzz", ovin::imagedata::read, page).ok() &&
        (page.data.empty() || (page.softmask && page.softmask->data.empty()))) {
        __builtin_trap(); // an accepted page always has data
    }
    return 0;
}
