// TIFF pages for the document face, read with libtiff.
//
// A page's data goes into the PDF as stored wherever a PDF filter reads it
// exactly: one strip (or one tile as large as the page) of CCITT, LZW,
// Deflate (with the TIFF predictor where readers apply it alike) or JPEG
// data, and PackBits strips. Uncompressed strips (not decoded) and every
// other page, decoded by libtiff, go to the compression stage uncompressed:
// several strips or tiles, samples stored plane by plane, alpha (a soft
// mask), 16-bit samples in little-endian files, palettes of 16-bit indices,
// YCbCr, old-style JPEG.
#pragma once

#include "readers/bytesource.h"
#include "readers/imagedesc.h"
#include "readers/registry.h"
#include "status.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

// No page's decoded samples may take more bytes than this.
inline constexpr uint64_t kMaxTiffPageBytes = uint64_t{1} << 32;

// Reads page `page` (from 1) of the TIFF held by `source` into `out`; name
// names the file in messages. `directories` holds the offsets of the file's
// directories when an earlier call found them (the directory chain is then
// not walked again), else it is empty and is filled. In skip mode nothing
// is decoded and the data is left empty; the description is the same except
// that a page whose stored data turns out to be unusable as it is (a
// PackBits end-of-data byte, say) is described as uncompressed samples in
// read mode. A page kept as one stored block of a file is left there
// (`out.stored`), to be copied when the page is written.
status readtiffdocpage(bytesource& source, const std::string& name, uint32_t page, imagedata mode,
                       std::vector<uint64_t>& directories, imagedesc& out,
                       uint64_t maxbytes = kMaxTiffPageBytes);

} // namespace ovin
