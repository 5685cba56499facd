// libFuzzer target for the JPEG 2000 reader, read from memory: the boxes
// and the codestream's markers are walked, and an accepted page holds the
// whole input.
#include "readers/jp2.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source({data, size});
    ovin::imagedesc page;
    if (ovin::readjp2page(source, "fuzz", ovin::imagedata::read, page).ok() &&
        page.data.size() != size) {
        __builtin_trap();
    }
    return 0;
}
