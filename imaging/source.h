// What every kind of image file offers the handle layer: a page count, a
// current page whose header facts are known without decoding, and the
// current page on demand, decoded whole or as a stream of rows.
#pragma once

#include "bitmap.h"
#include "readers/bytesource.h"
#include "rows.h"

#include <cstdint>
#include <memory>

namespace ovin::imaging {

struct PageHeader {
    int64_t width = 0;
    int64_t height = 0;
    int32_t bits = 0; // depth of the page once decoded: 1, 8, 24 or 32
    int32_t xdpi = 0;
    int32_t ydpi = 0;
};

class ImageSource {
public:
    virtual ~ImageSource() = default;
    virtual int32_t pageCount() const = 0;
    // Makes the zero-based page current; false leaves the current page as it was.
    virtual bool selectPage(int32_t page) = 0;
    virtual const PageHeader& header() const = 0;
    // The current page decoded, or null for a broken or oversized page.
    virtual std::shared_ptr<const Bitmap> decode() = 0;
    // The current page's rows for an encoder, or null for a page that cannot
    // be read. Valid until the page changes. This one decodes the page whole;
    // a reader that can do better streams the rows from the file.
    virtual std::unique_ptr<RowSource> rows();
};

// True when the page's size and depth are within what a decoded bitmap may
// take.
bool pageFits(const PageHeader& header);

// Each kind's opening step, through the readers (pdflib/readers/): reads
// headers only. Null when the file is not of that kind or is broken.
std::unique_ptr<ImageSource> openTiff(std::unique_ptr<filesource> file);
std::unique_ptr<ImageSource> openJpeg(std::unique_ptr<filesource> file);
std::unique_ptr<ImageSource> openBmp(std::unique_ptr<filesource> file);

// Opens a file by its signature (whatever its name says). Null on failure.
std::unique_ptr<ImageSource> openImageFile(const char* name);

// A single-page image held in memory (the result of a scaled copy).
std::unique_ptr<ImageSource> memorySource(std::shared_ptr<const Bitmap> bitmap);

} // namespace ovin::imaging
