// Feeds arbitrary bytes to the reading that a program showing files does
// before it saves them: the file checked page by page, then its first two
// pages drawn small and upright (reduced JPEG decoding, TIFF rows reduced as
// they are read, JPEG 2000 at a reduced level, the other kinds' samples).
#include "core/pagepicture.h"
#include "faces/policy.h"
#include "memoryfile.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const memoryfile file(data, size);
    const std::string path = file.name();
    ovin::Library library(nullptr, ovin::makedocumentface());
    // The fuzzer's memory ceiling is lower than the library's own limit.
    ovin::documentoptions options = library.options();
    options.maxpixels = uint64_t{1} << 22;
    library.setoptions(options);
    uint32_t pages = 0;
    if (ovin::checkimagefile(library, path, pages) != 0) {
        return 0;
    }
    for (uint32_t page = 1; page <= pages && page <= 2; ++page) {
        ovin::picture picture;
        if (ovin::pagepicture(library, path, page, 48, picture) == 0 &&
            (picture.width < 1 || picture.height < 1 || picture.width > 48 || picture.height > 48 ||
             picture.rgb.size() != 3 * size_t(picture.width) * size_t(picture.height))) {
            __builtin_trap(); // a drawn page is within the size asked for
        }
    }
    return 0;
}
