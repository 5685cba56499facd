// Reading a page for the document through the face: its description and
// (unless only its facts are wanted) its data, with the resolution rule and
// the size limits applied.
#pragma once

#include "faces/policy.h"
#include "readers/bytesource.h"
#include "readers/imagedesc.h"
#include "readers/imagekind.h"
#include "readers/registry.h"
#include "status.h"

#include <cstdint>
#include <string>

namespace ovin {

// The page's size in points: its pixels at its resolution, rounded to the
// nearest whole point (halves to even).
struct pointsize {
    int64_t width = 0;
    int64_t height = 0;
};
pointsize pagepoints(const imagedesc& page);

// Reads page `page` (from 1) of the file, of the given kind, into `out`
// (from `source` where the face opened one when the file was added):
// description and, unless mode is skip, data; missing resolutions
// defaulted and warned about; a page without pixels or too large for PDF
// refused. The data is as the file holds it: the face codes it for the PDF
// (facepolicy::code) after.
status readimage(const facepolicy& face, readcontext& context, imagekind kind,
                 const std::string& name, bytesource* source, uint32_t page, imagedata mode,
                 imagedesc& out);

} // namespace ovin
