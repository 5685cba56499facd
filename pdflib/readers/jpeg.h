// JPEG pages of the document face, read from any byte source (files, and
// memory for the fuzz targets).
#pragma once

#include "readers/imagedesc.h"
#include "readers/registry.h"
#include "status.h"

#include <string>

namespace ovin {

class bytesource;

// Describes the JPEG held by `source` as the page of the file `name` (used
// in messages): the header as the classic probe reads it, with the EXIF
// orientation, the EXIF resolution where JFIF gives none, and the ICC
// profile of the APP2 chunks. Unless `mode` is skip, the data is the whole
// file (DCTDecode): left in the file (`out.stored`) when the source is one,
// else read into `out.data`.
status readjpegdocument(bytesource& source, const std::string& name, imagedata mode,
                        imagedesc& out);

} // namespace ovin
