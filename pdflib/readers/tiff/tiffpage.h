// The TIFF reader: a page's structure read by hand (tiffinfo.h), its data
// decoded with libtiff only where it must be.
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
#include "readers/tiff/tiffplan.h"
#include "status.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

// Reads page `page` (from 1) of the TIFF held by `source` into `out`; name
// names the file in messages. The pages are the directories of the chain
// read in full, up to the first that is not. `directories` holds their
// offsets when an earlier call found them (the directory chain is then
// not walked again), else it is empty and is filled. In skip mode nothing
// is decoded and the data is left empty; the description is the same except
// that a page whose stored data turns out to be unusable as it is (a
// PackBits end-of-data byte, say) is described as uncompressed samples in
// read mode. A page kept as one stored block of a file is left there
// (`out.stored`), to be copied when the page is written. With
// `decodephotos`, 8-bit grey and colour pages are decoded where they could
// be kept as stored, so that they can be coded as JPEG.
status readtiffdocpage(bytesource& source, const std::string& name, uint32_t page, imagedata mode,
                       std::vector<uint64_t>& directories, imagedesc& out,
                       bool decodephotos = false, uint64_t maxbytes = kMaxTiffPageBytes);

} // namespace ovin
