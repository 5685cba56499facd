// libFuzzer target for the check of embedded ICC profiles: the input is a
// profile, checked as one for grey, RGB and CMYK pages.
#include "core/iccprofile.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> profile(data, size);
    int usable = 0;
    for (const ovin::colourspace colour :
         {ovin::colourspace::gray, ovin::colourspace::rgb, ovin::colourspace::cmyk}) {
        usable += ovin::usableprofile(profile, colour) ? 1 : 0;
    }
    // A profile has one colour space; none for a palette.
    if (usable > 1 || ovin::usableprofile(profile, ovin::colourspace::indexed)) {
        __builtin_trap();
    }
    return 0;
}
