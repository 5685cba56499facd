// libFuzzer target for the document face's TIFF reader: the input is read
// from memory, pages 1 and 2, each described only (skip) and with its data
// (read), as adding a file and saving it do. The directory offsets found by
// the first call serve the later ones, as during a save. A page's memory is
// bounded as the library bounds it (its data, the pixel limit of decoded
// pages), so that a blow-up is a finding of -rss_limit_mb.
#include "core/options.h"
#include "readers/bytesource.h"
#include "readers/tiff/tiffpage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

// Whether the page was described and may be read: the library adds a page
// (skip) before it reads it, and refuses a decoded page over its pixel limit
// when adding it.
bool probe(ovin::bytesource& source, uint32_t page, ovin::imagedata mode,
           std::vector<uint64_t>& directories) {
    ovin::imagedesc out;
    const ovin::status result = ovin::readtiffdocpage(source, "fuzz.tif", page, mode, directories,
                                                      out, false, ovin::kMaxTiffPageBytes);
    if (!result.ok()) {
        return false;
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
    return out.filter != ovin::pdffilter::none ||
           uint64_t(out.width) * uint64_t(out.height) <= ovin::kDefaultMaxPixels;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source(std::span<const uint8_t>(data, size));
    std::vector<uint64_t> directories;
    for (const uint32_t page : {1U, 2U}) {
        if (probe(source, page, ovin::imagedata::skip, directories)) {
            probe(source, page, ovin::imagedata::read, directories);
        }
    }
    return 0;
}
