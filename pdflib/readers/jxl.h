// JPEG XL pages for the document face, through libjxl (bare codestream or
// container). A file that holds a recompressed JPEG gives back that JPEG's
// exact bytes, read as a JPEG file. Otherwise the first frame, as shown
// (composed and turned upright by libjxl), is decoded: lossless files keep
// their samples (16 bits where they have more than 8), lossy ones (XYB
// coded) are 8-bit samples that the compression stage codes as JPEG. Alpha
// becomes the soft mask, the colour profile the page's ICC profile.
#pragma once

#include "readers/bytesource.h"
#include "readers/registry.h"

namespace ovin {

status readjxlpage(bytesource& source, const std::string& name, imagedata mode, imagedesc& out);

} // namespace ovin
