// libFuzzer target for the TIFF structure reader, reading the input from
// memory: pages 1 and 2 read as the classic face reads them (tags and
// strips), and the chain walked as the document face walks it (BigTIFF
// too).
#include "faces/classic/pages.h"
#include "readers/bytesource.h"
#include "readers/tiff/tiffinfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void probe(ovin::bytesource& source, uint32_t page, uint64_t filesize) {
    ovin::tiffinfo info;
    std::vector<uint8_t> data;
    const ovin::status read =
        ovin::readclassictiff(source, "fuzz.tif", page, ovin::imagedata::read, nullptr, info, data);
    // The strips together never hold more than the file; the JPEG header
    // block is one more stretch of it.
    if (data.size() > 2 * filesize || (!read.ok() && read.detail().empty())) {
        std::abort();
    }
    ovin::tiffinfo walked;
    walked.read(source, page, true);
    if (walked.wholepages > walked.pagecount || (walked.found && page > walked.pagecount)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source({data, size});
    probe(source, 1, size);
    probe(source, 2, size);
    return 0;
}
