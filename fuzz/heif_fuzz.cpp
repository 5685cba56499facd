// libFuzzer target for the HEIF (HEIC and AVIF) reader (fuzz/pagesfuzz.h).
#include "pagesfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzpages(ovin::imagekind::heif, data, size);
}
