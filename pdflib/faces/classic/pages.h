// How the classic face reads and describes the pages of its three kinds
// (TIFF, JPEG, BMP) from the readers' facts, with its own texts: a TIFF
// page of one strip as stored (uncompressed, CCITT, PackBits, old-style
// JPEG), a page of several strips planned for re-encoding through the
// imaging library; a JPEG file whole with its JFIF resolution; a bitmap's
// pixels as rows, 8-bit palettes expanded to RGB.
#pragma once

#include "faces/policy.h"
#include "readers/imagedesc.h"
#include "readers/jpeg.h"
#include "readers/registry.h"
#include "readers/tiff/tiffinfo.h"
#include "status.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

status classictiffpage(const std::string& name, uint32_t page, imagedata mode, readcontext& context,
                       imagedesc& out);
status classicjpegpage(const std::string& name, imagedata mode, readcontext& context,
                       imagedesc& out);
status classicbmppage(const std::string& name, imagedata mode, readcontext& context,
                      imagedesc& out);

// Reads page `page` of a TIFF file as the classic face does: its tags into
// `probe` and its strips (unless mode is skip, then only checked) into
// `data`, with the classic texts for what goes wrong. A failed read of the
// page's values or strips is an I/O error with its number; everything else
// an image error. By name, a missing file and one that cannot be opened
// have texts of their own.
status readclassictiff(bytesource& source, const std::string& name, uint32_t page, imagedata mode,
                       probecache* cache, tiffinfo& probe, std::vector<uint8_t>& data);
status readclassictiff(const std::string& name, uint32_t page, imagedata mode, probecache* cache,
                       tiffinfo& probe, std::vector<uint8_t>& data);
// The rows per strip of a page: the tag's value (with every bit set, all
// rows), all rows where the tag is missing and one strip is given, else -1.
int32_t classicrowsperstrip(const tifftags& tags);

// The header of the named JPEG file with the classic texts: a missing file
// ("Error - JPEG Image NAME does not exist") and one that cannot be opened
// ("Access to NAME is denied - error N") are image errors whose text
// `showmessage` says to show in a message box too; a failed read an I/O
// error with its number; a refused file an image error.
status classicjpegheader(const std::string& name, jpeginfo& header, bool& showmessage);

// What the classic face takes from a bitmap: its size, bit count (1, 8 or
// 24), resolution in dots per inch (200 both ways when the file gives no
// horizontal one) and a 1-bit file's two colours as R,G,B,R,G,B.
struct classicbmpfacts {
    uint32_t width = 0, height = 0;
    uint16_t bitcount = 0;
    uint32_t xdpi = 0, ydpi = 0;
    std::array<uint8_t, 6> palette1{};
};

// Reads a bitmap as the classic face does: uncompressed 1-, 8- and 24-bit
// pixels into `data` (unless mode is skip, then only checked) as rows top
// first, 1-bit rows packed as stored, other pixels R,G,B (8-bit ones through
// the palette), with the classic texts for what it refuses. A failed read
// is an I/O error with its number. By name, a missing file and one that
// cannot be opened have texts of their own.
status readclassicbmp(bytesource& source, const std::string& name, imagedata mode,
                      classicbmpfacts& facts, std::vector<uint8_t>& data);
status readclassicbmp(const std::string& name, imagedata mode, classicbmpfacts& facts,
                      std::vector<uint8_t>& data);

// Reads a whole file that was measured as `size` bytes: an I/O error with
// EFBIG for 4 GB or more, with the short-read number when it changed size.
status readwholefile(const std::string& name, int64_t size, std::vector<uint8_t>& data);

} // namespace ovin
