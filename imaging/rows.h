// A page's rows handed to an encoder one at a time, top row first: the rows
// of a bitmap already in memory, or rows read from the file a strip at a
// time, so that re-encoding a page never needs the whole page decoded.
#pragma once

#include "bitmap.h"

#include <cstdint>
#include <memory>

namespace ovin::imaging {

class RowSource {
public:
    virtual ~RowSource() = default;
    // The page the rows make up; each row is format().stride bytes in the
    // bitmap layout.
    virtual const PageFormat& format() const = 0;
    // Starts again from the top row. False when the page cannot be read.
    virtual bool rewind() = 0;
    // The next row, valid until the following call; null past the last row
    // or when the page cannot be read.
    virtual const uint8_t* next() = 0;
};

// The rows of a decoded bitmap, shared rather than copied.
std::unique_ptr<RowSource> bitmapRows(std::shared_ptr<const Bitmap> bitmap);

} // namespace ovin::imaging
