// libFuzzer target for the JPEG XL reader (fuzz/pagesfuzz.h).
#include "pagesfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzpages(ovin::imagekind::jxl, data, size);
}
