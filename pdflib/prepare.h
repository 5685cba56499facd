// Image preparation: probing one page of an image file into an imgdata
// record, and re-encoding a page that cannot be embedded as stored.
#pragma once

#include "imgdata.h"
#include "state.h"
#include "ui.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

// Whether a probe reads the page's data or only checks it against the file
// (enough to add a file or to learn its page size).
enum class imagedata { read, skip };

// Kept by a caller that probes the pages of a document in order: the
// directory chain of the TIFF file probed last, so that page k of a
// multi-page file is found without walking the k-1 pages before it.
struct probecache {
    std::string tifffile;
    std::vector<uint32_t> directories;
};

// Kept by a caller that converts pages in order (a save): the imaging
// library's handle of the file converted last, so that converting page k+1
// of a multi-page file goes on from page k instead of opening the file and
// finding the page again. Closes the handle when it goes.
struct conversioncache {
    std::string file;
    uint32_t image = 0; // the imaging handle, 0 for none
    conversioncache() = default;
    conversioncache(const conversioncache&) = delete;
    conversioncache& operator=(const conversioncache&) = delete;
    ~conversioncache();
    void close();
};

// The page's size in points: its pixels at its resolution, rounded to the
// nearest whole point (halves to even).
struct pointsize {
    int64_t width = 0;
    int64_t height = 0;
};
pointsize pagepoints(const imgdata& record);

// Reads page `page` (1-based) of the file into `record`: geometry,
// resolution (defaults and warnings applied), coding and data. Returns 0,
// -3, -5 or -6 with the detail in state.errorarg.
int32_t probeimage(librarystate& state, Ui& ui, const std::string& name, uint16_t page,
                   imgdata& record, imagedata data = imagedata::read, probecache* cache = nullptr);

// Re-encodes a TIFF page stored in several strips into a single-strip TIFF
// or a JPEG file at the temporary image path and takes its data into
// `record`. Returns 0, -3, -6 or -11 with the detail in state.errorarg.
// With a cache the source file stays open after the call, for the next.
int32_t convertimage(librarystate& state, Ui& ui, const std::string& name, uint16_t page,
                     imgdata& record, conversioncache* cache = nullptr);

} // namespace ovin
