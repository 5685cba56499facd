// HEIF pages (HEIC and AVIF) for the document face, through libheif: the
// primary image as viewers show it (libheif applies the file's rotation,
// mirroring and cropping), decoded to 8-bit RGB samples for the compression
// stage, which codes them as JPEG: their HEVC or AV1 coding is lossy and
// PDF cannot carry it. An alpha image becomes the soft mask; the ICC
// profile and the resolution of the Exif block are kept.
#pragma once

#include "readers/bytesource.h"
#include "readers/registry.h"

namespace ovin {

status readheifpage(bytesource& source, const std::string& name, imagedata mode, imagedesc& out);

} // namespace ovin
