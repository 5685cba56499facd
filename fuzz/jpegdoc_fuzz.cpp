// libFuzzer target for the document face's JPEG reader (header, EXIF and
// ICC chunks), reading the input from memory with its data.
#include "readers/bytesource.h"
#include "readers/jpeg.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source(std::span<const uint8_t>(data, size));
    ovin::imagedesc page;
    if (!ovin::readjpegdocument(source, "fuzz.jpg", ovin::imagedata::read, page).ok()) {
        return 0;
    }
    // An accepted page is the whole input, upright in one of eight ways.
    const auto upright = static_cast<int>(page.upright);
    if (page.data.size() != size || upright < 1 || upright > 8 ||
        page.filter != ovin::pdffilter::dct || (page.xdpi == 0) != (page.ydpi == 0)) {
        __builtin_trap();
    }
    return 0;
}
