// How a TIFF page reaches the PDF, planned from its tags alone: what its
// samples are, and whether its data goes in as stored (a PDF filter reads
// it exactly) or is decoded for the compression stage.
#pragma once

#include "readers/imagedesc.h"
#include "readers/tiff/tiffinfo.h"
#include "status.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

enum class samplemodel : uint8_t { gray, rgb, cmyk, palette, ycbcr, other };

enum class route : uint8_t {
    ccitt,        // one block of CCITT data, as stored
    lzw,          // one block of LZW data, as stored
    flate,        // one block of Deflate data, as stored
    uncompressed, // uncompressed strips, to the compression stage
    jpeg,         // one block of JPEG data with the page's tables
    decode,       // decoded by libtiff, to the compression stage
    rgba,         // decoded by libtiff's RGBA reader, to the compression stage
};

// The tags of a page as the pipeline uses them, absent ones defaulted as
// TIFF defines them.
struct pagetags {
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1, sampleformat = 1;
    int32_t photometric = -1; // -1: the page has none
    uint16_t compression = 1;
    uint16_t planar = 1;
    uint16_t fillorder = 1;
    uint16_t orientation = 1;
    uint16_t predictor = 1; // read under LZW and Deflate only
    uint16_t inkset = 1;
    uint32_t t4options = 0, t6options = 0;
    uint32_t rowsperstrip = 0;    // clamped to 1 .. height; the height for tiles
    std::vector<uint16_t> extras; // ExtraSamples: what each extra sample is
    bool tiled = false;
    uint32_t tilewidth = 0, tilelength = 0;
    uint32_t blocks = 0;                     // strips or tiles
    std::vector<uint64_t> offsets, counts;   // of each block
    std::vector<uint16_t> colormap;          // 3 * 2^bits values, or empty
    tifftags::extent jpegtables, iccprofile; // where the tags' bytes are
    uint16_t xdpi = 0, ydpi = 0;
    bool bigendian = false;
    uint64_t directory = 0; // where the page's directory is, for libtiff
};

struct pageplan {
    samplemodel model = samplemodel::gray;
    uint16_t channels = 1; // colour samples per pixel, at the start of each pixel
    int alpha = -1;        // the sample that is alpha, -1 for none
    bool premultiplied = false;
    route how = route::decode;
    std::vector<uint8_t> palette; // 8-bit R, G, B per entry
};

// The page's tags from the structure reader; an image error (`where` names
// the page) for tags no reader can follow.
status tiffpagetags(const tiffinfo& info, const std::string& where, pagetags& out);
// What the samples are and how they reach the PDF; an image error for a
// page that cannot be shown.
status plantiffpage(const pagetags& tags, const std::string& where, pageplan& plan);
// The palette of a palette page as 8-bit R, G, B per entry. The colour map
// holds 16-bit values; a map whose values all stay below 256 was written
// with 8-bit values, as libtiff itself assumes.
std::vector<uint8_t> tiffpalette(const pagetags& tags);
// Refuses a page whose data cannot hold the pixels its tags declare (a file
// cut short, or a size its data never had) before any memory is spent on
// its samples: each codec makes at most so many bytes of a byte of data.
status checktiffdata(const pagetags& tags, uint64_t filesize, const std::string& where);
// The image dictionary's description of the page as planned; the ICC
// profile is the caller's (it lies in the file).
void describetiffpage(const pagetags& tags, const pageplan& plan, imagedesc& out);

// The largest number of bytes a page's decoded samples may take.
inline constexpr uint64_t kMaxTiffPageBytes = uint64_t{1} << 32;

// Reads the page's data as planned into `out` (stored blocks left in the
// file where the source is one): `plan.how` turns to decode when the data
// itself rules out its route (a PackBits end-of-data code, old-style LZW,
// JPEG data that does not match the tags), and then the page is decoded.
status readtiffdata(bytesource& source, const std::string& where, const pagetags& tags,
                    pageplan& plan, uint64_t maxbytes, imagedesc& out);

} // namespace ovin
