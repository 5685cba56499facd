// Decoding a TIFF page with libtiff, for pages whose data PDF readers
// cannot read as stored, and turning the decoded samples into the samples
// of a PDF image and its soft mask.
#pragma once

#include "readers/tiff/tiffstream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

// Samples as libtiff delivers them: rows top first, the samples of a pixel
// together, packed most significant bit first, 16-bit samples in the
// machine's byte order.
struct decodedpage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bits = 8;    // 1, 2, 4, 8 or 16
    uint16_t samples = 1; // per pixel
    std::vector<uint8_t> bytes;

    size_t rowbytes() const { return (size_t{width} * samples * bits + 7) / 8; }
};

// The rows of one plane of the stream's current directory (plane 0 holds
// every sample where pixels are stored together), top to bottom as libtiff
// decodes them: samples packed as stored, 16-bit ones in the machine's byte
// order. One strip or one row of tiles is held at a time, so a page of any
// size is read in bounded memory.
class tiffrows {
public:
    // Nothing larger than maxbytes is allocated: a strip or a row of tiles
    // that would take more leaves the rows unreadable (problem()).
    tiffrows(tiffstream& stream, uint16_t plane, uint64_t maxbytes);
    // Empty while the rows can be read, else why not.
    const std::string& problem() const { return problem_; }
    uint64_t rowbytes() const { return rowbytes_; }
    // Starts again at the top row.
    void restart();
    // The next row; null past the last one, or when a strip or tile cannot
    // be read (problem() then says why).
    const uint8_t* next();

private:
    bool readstrip();
    bool readtiles();

    tiffstream& stream_;
    TIFF* tif_;
    uint16_t plane_;
    uint32_t width_ = 0, height_ = 0;
    uint64_t pixelbits_ = 0;
    uint64_t rowbytes_ = 0;
    bool tiled_ = false;
    uint32_t bandheight_ = 1; // rows per strip, or tile length
    uint32_t perplane_ = 0;   // strips per plane
    uint32_t tilewidth_ = 0;
    uint64_t tilerowbytes_ = 0;
    std::vector<uint8_t> band_;
    std::vector<uint8_t> tile_;
    uint32_t y_ = 0;         // next row handed out
    uint32_t bandstart_ = 0; // first row held in band_
    uint32_t bandrows_ = 0;  // rows held in band_
    std::string problem_;
};

// Decodes the stream's current directory as stored: strips or tiles, the
// samples of a pixel together or plane by plane. Nothing larger than
// maxbytes is allocated. Returns empty on success, else why not (libtiff's
// own message where it gave one).
std::string decodesamples(tiffstream& stream, uint64_t maxbytes, decodedpage& out);

// Decodes the current directory through libtiff's RGBA reader (YCbCr with
// subsampling, old-style JPEG, CIE L*a*b*): 8-bit R, G, B, A with the
// colours multiplied by their alpha, rows in stored order.
std::string decodergba(tiffstream& stream, uint64_t maxbytes, decodedpage& out);

// `count` samples of each pixel from sample `first` on, as PDF image data:
// rows start on a byte, 16-bit samples most significant byte first. Takes
// the page's buffer when that is all of it.
std::vector<uint8_t> picksamples(decodedpage& page, uint16_t first, uint16_t count);

// Divides colour samples (PDF data of `colours` samples per pixel) by the
// alpha samples of the same pixels (PDF data of one sample per pixel).
void unpremultiply(std::vector<uint8_t>& colour, const std::vector<uint8_t>& alpha, uint32_t width,
                   uint32_t height, uint16_t colours, uint16_t bits);

// Palette indices (sample 0, any depth up to 16) turned into 8-bit RGB
// through the palette (`entries` R, G, B triplets, 8 bits each); an index
// past the palette takes its last entry.
std::vector<uint8_t> expandpalette(const decodedpage& page, const std::vector<uint8_t>& palette);

} // namespace ovin
