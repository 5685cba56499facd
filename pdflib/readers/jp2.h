// JPEG 2000 pages for the document face: JP2 files and bare codestreams are
// embedded whole as JPXDecode data.
#pragma once

#include "readers/bytesource.h"
#include "readers/registry.h"

namespace ovin {

// Reads the JPEG 2000 image in `source` into `out`; `name` names the file
// in messages. The data, the whole file, is left in the file (`out.stored`)
// when the source is one.
status readjp2page(bytesource& source, const std::string& name, imagedata mode, imagedesc& out);

} // namespace ovin
