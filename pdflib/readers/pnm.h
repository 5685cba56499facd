// PNM pages (PBM, PGM and PPM, plain and raw) for the document face: the
// pixels, rescaled to full range when the maxval asks for it, handed to the
// compression stage uncompressed. A file of several images one after the other is a file of
// several pages.
#pragma once

#include "readers/bytesource.h"
#include "readers/registry.h"

namespace ovin {

// Reads image `page` (counted from 1) of the PNM data in `source` into
// `out`, pagesinfile counting every image; `name` names the file in
// messages.
status readpnmpage(bytesource& source, const std::string& name, uint32_t page, imagedata mode,
                   imagedesc& out);

} // namespace ovin
