// libFuzzer target for the EXIF reader: the input is an EXIF block as a
// JPEG APP1 segment or a PNG eXIf chunk holds it.
#include "readers/exif.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ovin::exiffacts facts = ovin::readexif(std::span<const uint8_t>(data, size));
    // An orientation is one of the eight; a resolution is given both ways or not at all.
    if (facts.orientation > 8 || (facts.xdpi == 0) != (facts.ydpi == 0)) {
        __builtin_trap();
    }
    return 0;
}
