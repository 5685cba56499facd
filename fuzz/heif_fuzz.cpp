// libFuzzer target for the HEIF (HEIC and AVIF) reader, read from memory: the description
// alone, then the page with its data.
#include "readers/heif.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source({data, size});
    ovin::imagedesc page;
    if (!ovin::readheifpage(source, "fuzz", ovin::imagedata::skip, page).ok()) {
        return 0;
    }
    page.reset();
    if (ovin::readheifpage(source, "fuzz", ovin::imagedata::read, page).ok() && page.data.empty() &&
        page.streamlength() == 0) {
        __builtin_trap(); // an accepted page always has data
    }
    return 0;
}
