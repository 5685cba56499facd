// The four objects of an image page: the image XObject holding the data as
// prepared, the resource dictionary, the compressed content stream that
// paints the image over the page, and the page object.
#pragma once

#include "imgdata.h"
#include "pdfoutput.h"

#include <cstdint>
#include <string>

namespace ovin {

// Writes objects 4i+1 to 4i+4 of page i (0-based) of n pages. Returns 0, or
// -6 with `errorarg` set when the image's depth, colours or coding cannot be
// described; all four objects are written all the same.
int32_t writeimagepage(pdfoutput& out, int32_t i, int32_t n, const imgdata& image,
                       const std::string& filename, std::string& errorarg);

} // namespace ovin
