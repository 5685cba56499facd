// The body the fuzz targets of the library-decoded kinds share: the file
// read from memory through its kind's reader, the description alone, then
// each page (at most 16) with its data, every page going on from the
// reader's state the page before kept, as a save reads them.
#pragma once

#include "readers/registry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

inline int fuzzpages(ovin::imagekind kind, const uint8_t* data, size_t size) {
    const ovin::readfunction read = ovin::findreader(kind);
    ovin::memorysource source({data, size});
    const std::string name = "fuzz";
    ovin::imagedesc page;
    if (!read({source, name, 1, ovin::imagedata::skip}, page).ok()) {
        return 0;
    }
    std::shared_ptr<ovin::readerstate> state;
    const uint32_t pages = page.pagesinfile;
    for (uint32_t p = 1; p <= pages && p <= 16; ++p) {
        page.reset();
        ovin::readrequest request{source, name, p, ovin::imagedata::read};
        request.state = &state;
        if (!read(request, page).ok()) {
            break;
        }
        if (page.streamlength() == 0 || (page.softmask && page.softmask->data.empty())) {
            __builtin_trap(); // an accepted page always has data
        }
    }
    return 0;
}
