// libFuzzer target for the PNM reader, read from memory: the first page's
// description with the page count, then the data of the first pages.
#include "readers/pnm.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source({data, size});
    ovin::imagedesc page;
    if (!ovin::readpnmpage(source, "fuzz", 1, ovin::imagedata::skip, page).ok()) {
        return 0;
    }
    const uint32_t pages = page.pagesinfile;
    for (uint32_t p = 1; p <= std::min<uint32_t>(pages, 4); ++p) {
        if (ovin::readpnmpage(source, "fuzz", p, ovin::imagedata::read, page).ok() &&
            (page.data.empty() || page.pagesinfile != pages)) {
            __builtin_trap();
        }
    }
    return 0;
}
