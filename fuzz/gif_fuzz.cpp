// libFuzzer target for the GIF reader, read from memory: the description
// alone, then page 1 with its data and, for an animation, the pages after
// it, each going on from the screen the page before left.
#include "readers/gif.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source({data, size});
    const std::string name = "fuzz";
    ovin::imagedesc page;
    if (!ovin::readgifpage({source, name, 1, ovin::imagedata::skip}, page).ok()) {
        return 0;
    }
    std::shared_ptr<ovin::readerstate> state;
    const uint32_t pages = page.pagesinfile;
    for (uint32_t p = 1; p <= pages && p <= 16; ++p) {
        page.reset();
        ovin::readrequest request{source, name, p, ovin::imagedata::read};
        request.state = &state;
        if (!ovin::readgifpage(request, page).ok()) {
            break;
        }
        if (page.data.empty() || (page.softmask && page.softmask->data.empty())) {
            __builtin_trap(); // an accepted page always has data
        }
    }
    return 0;
}
