// The classic face's re-encoding of a page that cannot be embedded as
// stored (a TIFF page in several strips): the imaging library writes it into
// a file at the temporary image path, in the coding the page's `reencode`
// plan names, and the page is described again from that file.
#pragma once

#include "core/ui.h"
#include "readers/imagedesc.h"
#include "readers/imagekind.h"
#include "status.h"

#include <cstdint>
#include <string>

namespace ovin {

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

// Re-encodes the page through the imaging library into a file at the
// temporary image path, which is created anew (never opened when it exists)
// and removed on every path, and describes the page with the new data.
// Fails with -3, -5, -6 or -11. With a cache the source file stays open
// after the call, for the next.
status convertimage(const conversioncontext& context, imagekind kind, const std::string& name,
                    uint32_t page, imagedesc& image);

} // namespace ovin
