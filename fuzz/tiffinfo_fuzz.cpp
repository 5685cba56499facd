// libFuzzer target for the TIFF probe, reading the input from memory:
// pages 1 and 2 are probed and their data copied out, as the library does.
#include "readers/bytesource.h"
#include "readers/tiff/tiffinfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void probe(ovin::bytesource& source, uint32_t page, uint64_t filesize) {
    ovin::tiffinfo info;
    const bool ok = info.read(source, "fuzz.tif", page);
    if (ok == info.haserror()) {
        std::abort(); // the result and the error flag disagree
    }
    // The strips together never hold more than the file; the JPEG header
    // block is one more stretch of it.
    if (info.datasize() > 2 * filesize) {
        std::abort();
    }
    std::vector<uint8_t> data(info.datasize());
    info.copydata(data.data());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovin::memorysource source({data, size});
    probe(source, 1, size);
    probe(source, 2, size);
    return 0;
}
