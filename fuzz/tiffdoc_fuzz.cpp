// libFuzzer target for the document face's TIFF reader: the input is read
// from memory, pages 1 and 2, each described only (skip) and with its data
// (read), as adding a file and saving it do. The directory offsets found by
// the first call serve the later ones, as during a save.
#include "readers/bytesource.h"
#include "readers/tiff/tiffpage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

// Far above what the seeds need, and small enough that the largest page
// decodes within libFuzzer's time limit under the sanitizers.
constexpr uint64_t kMaxPageBytes = uint64_t{8} << 20;

void probe(ovin::bytesource& source, uint32_t page, ovin::imagedata mode,
           std::vector<uint64_t>& directories) {
    ovin::imagedesc out;
    const ovin::status result =
        ovin::readtiffdocpage(source, "fuzz.tif", page, mode, directories, out, kMaxPageBytes);
    if (!result.ok()) {
        return;
    }
    // An accepted page is a whole description: a size, a colour space and,
    // when read, data.
    if (out.width <= 0 || out.height <= 0 || out.colour == ovin::colourspace::none ||
        out.bitspercomponent == 0 || (mode == ovin::imagedata::read && out.data.empty())) {
        std::abort();
    }
    if (out.softmask && (out.softmask->width != out.width || out.softmask->height != out.height)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source(std::span<const uint8_t>(data, size));
    std::vector<uint64_t> directories;
    for (const uint32_t page : {1U, 2U}) {
        for (const ovin::imagedata mode : {ovin::imagedata::skip, ovin::imagedata::read}) {
            probe(source, page, mode, directories);
        }
    }
    return 0;
}
