// Encoding a page's rows as a complete TIFF or JPEG file, written straight
// to an open file as the rows come. For each format: the settings that the
// write options give for a page of that format (nothing when they cannot
// apply to it, so that no file needs to be made), and the encoder.
#pragma once

#include "options.h"
#include "rows.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ovin::imaging {

// TIFF: COMPRESS = ON|OFF; TIFF_COMPRESS = GROUP4 | GROUP3 | PACKBITS | LZW
// | NONE (CCITT codings for 1-bit pages only); TIFF_ROWSPERSTRIP = n (absent,
// not positive or past the height: one strip). Samples and photometric are
// written as the page holds them.
struct TiffSettings {
    uint16_t compression = 1;
    uint32_t rowsPerStrip = 0;
};
std::optional<TiffSettings> tiffSettings(const PageFormat& page, const OptionBlock& options);
// Reads each row once; false when a row cannot be read or the file written.
bool encodeTiff(RowSource& rows, const TiffSettings& settings, int fd);

// JPEG: LOSSY_QUALITY = 1..100 (75 when absent), JPEG_OPTIMIZE_CODING =
// ON|OFF. Grey pages (1 or 8 bits) give one component, everything else
// three. Nothing for a side past JPEG's limit.
struct JpegSettings {
    int quality = 75;
    bool optimize = false;
    bool grey = false;
};
std::optional<JpegSettings> jpegSettings(const PageFormat& page, const OptionBlock& options);

// Optimised coding needs the Huffman statistics of the whole page before the
// first byte of data. libjpeg gathers them by holding every DCT coefficient
// of the page (2 bytes a sample); a page whose coefficients would take more
// than coefficientBudget bytes is read twice instead: a first pass with the
// standard tables only counts the symbols, and the second writes the file
// with the tables built from those counts. Both give the same bytes.
inline constexpr size_t kJpegCoefficientBudget = size_t{64} << 20;
bool encodeJpeg(RowSource& rows, const JpegSettings& settings, int fd,
                size_t coefficientBudget = kJpegCoefficientBudget);

} // namespace ovin::imaging
