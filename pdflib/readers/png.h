// PNG pages for the document face. Plain images keep their compressed
// data: the IDAT chunks' contents are embedded as Flate data with the PNG
// predictor. Interlaced images and images with transparency (an alpha
// channel or a tRNS chunk) are decoded with libpng and handed to the
// compression stage uncompressed, with a soft mask.
#pragma once

#include "readers/bytesource.h"
#include "readers/registry.h"

namespace ovin {

// Reads the PNG image in `source` into `out`; `name` names the file in
// messages. With `decodephotos`, 8-bit grey and colour images are decoded
// too, so that the compression stage can code them as JPEG.
status readpngpage(bytesource& source, const std::string& name, imagedata mode, imagedesc& out,
                   bool decodephotos = false);

} // namespace ovin
