// Image preparation: probing one page of an image file into a page
// description with the resolution defaults and size limits applied, and
// re-encoding a page that cannot be embedded as stored.
#pragma once

#include "core/state.h"
#include "core/ui.h"
#include "readers/imagedesc.h"
#include "readers/imagekind.h"
#include "readers/registry.h"
#include "status.h"

#include <cstdint>
#include <string>

namespace ovin {

// What preparing a page may use and add to.
struct preparecontext {
    Ui& ui;
    warninglist& warnings;
    const documentoptions& options;
    // Resolutions put in place of a missing one; 0 or less means 200.
    int32_t defaultxdpi = 0;
    int32_t defaultydpi = 0;
    probecache* cache = nullptr;
};

// The page's size in points: its pixels at its resolution, rounded to the
// nearest whole point (halves to even).
struct pointsize {
    int64_t width = 0;
    int64_t height = 0;
};
pointsize pagepoints(const imagedesc& page);

// Reads page `page` (1-based) of the file, of the given kind, into `out`:
// description and (unless mode is skip) data, with missing resolutions
// defaulted and warned about, and pages too large for PDF refused. In the
// document face the data comes out compressed (compress.h). Fails with -3,
// -5 or -6.
status probeimage(preparecontext& context, imagekind kind, const std::string& name, uint32_t page,
                  imagedesc& out, imagedata mode = imagedata::read);

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

// What a re-encoding needs of the library.
struct conversioncontext {
    Ui& ui;
    const std::string& tempimgpath;
    uintptr_t window = 0; // the caller's window, handed to the imaging library
    conversioncache* cache = nullptr;
};

// Re-encodes a page that probeimage found not embeddable as stored (its
// `reencode` plan) through the imaging library into a file at the
// temporary image path, and describes the page with the new data. Fails
// with -3, -5, -6 or -11. With a cache the source file stays open after the
// call, for the next.
status convertimage(const conversioncontext& context, imagekind kind, const std::string& name,
                    uint32_t page, imagedesc& image);

} // namespace ovin
