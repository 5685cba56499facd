// The objects of an image page: the image XObject holding the data as
// described, the resource dictionary, the compressed content stream that
// paints the image over the page, and the page object. The compact layout
// of the document face writes three: its page object holds the resources,
// its content stream stays uncompressed where that is shorter, and its
// dictionaries leave out the spaces and entries they need not have.
#pragma once

#include "core/options.h"
#include "pdf/objectplan.h"
#include "pdf/pdfoutput.h"
#include "readers/imagedesc.h"
#include "status.h"

#include <cstdint>
#include <string>

namespace ovin {

// Writes the objects of page i, and after them any extra objects the image
// needs (its ICC profile, its soft mask), numbered from the plan. Fails
// with -6 when the description has an error (or the content stream cannot
// be compressed); all the objects are written all the same.
//
// `text`, where given, is drawn after the image (the recognised text
// layer), and the page's resources name its font as /OCR.
struct pagetext {
    std::string content;
    int64_t font = 0;
};
status writeimagepage(pdfoutput& out, objectplan& plan, int64_t i, const imagedesc& image,
                      const pagelayout& layout, const std::string& filename,
                      const pagetext* text = nullptr);

} // namespace ovin
