// The four objects of an image page: the image XObject holding the data as
// described, the resource dictionary, the compressed content stream that
// paints the image over the page, and the page object.
#pragma once

#include "imagedesc.h"
#include "objectplan.h"
#include "pdfoutput.h"
#include "status.h"

#include <cstdint>
#include <string>

namespace ovin {

// Writes the objects of page i. Fails with -6 when the description has an
// error (or the content stream cannot be compressed); all four objects are
// written all the same.
status writeimagepage(pdfoutput& out, const objectplan& plan, int64_t i, const imagedesc& image,
                      const std::string& filename);

} // namespace ovin
