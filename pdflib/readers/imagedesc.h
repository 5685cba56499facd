// The description of one image page as a probe makes it and the page
// writer writes it, in PDF terms and without knowledge of the file format:
// size, resolution, colour space with its palette and decode array, bits
// per component, filter with its parameters, and the data.
#pragma once

#include "byteorder.h"
#include "posixio.h"
#include "readers/imagekind.h"
#include "status.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ovin {

enum class colourspace : uint8_t { none, gray, rgb, cmyk, indexed };
enum class pdffilter : uint8_t { none, ccittfax, dct, flate, lzw, runlength, jpx };

struct ccittparams {
    int32_t k = 0; // -1 Group 4, 0 one-dimensional, positive two-dimensional
    bool blackis1 = false;
    bool encodedbytealign = false;
};

// The predictor of Flate or LZW data: 1 none, 2 TIFF, 10 to 15 PNG.
struct predictorparams {
    int32_t predictor = 1;
    int32_t colors = 1;
    int32_t bitspercomponent = 8;
    int32_t columns = 1;
};

// How the stored pixels are turned to stand upright, in the numbering of the
// EXIF and TIFF Orientation tags: 1 as stored, 2 mirrored left to right,
// 3 turned half round, 4 mirrored top to bottom, 5 mirrored along the
// top-left diagonal, 6 turned a quarter clockwise, 7 mirrored along the
// other diagonal, 8 turned a quarter anticlockwise.
enum class orientation : uint8_t {
    normal = 1,
    mirrored = 2,
    halfturn = 3,
    flipped = 4,
    transposed = 5,
    quarterclockwise = 6,
    transversed = 7,
    quarteranticlockwise = 8,
};

// Stored bytes left in their file: the page writer copies them into the PDF
// when the page is written, without a pass through memory.
struct fileextent {
    std::shared_ptr<const filedescriptor> file; // null: no extent
    uint64_t offset = 0;
    uint64_t length = 0;
};

class reencoding;

struct imagedesc {
    int32_t width = 0;  // pixels
    int32_t height = 0; // pixels
    uint16_t xdpi = 0;  // dots per inch; 0 while the file gives none
    uint16_t ydpi = 0;
    uint32_t pagesinfile = 0;

    // What the dictionary says. A part the probe could not describe is left
    // out (0, none) and `error` says why: the page is then written without
    // it and the save fails.
    uint16_t bitspercomponent = 0;
    colourspace colour = colourspace::none;
    std::vector<uint8_t> palette; // indexed: RGB triplets, one per entry
    // An ICC profile for the colour space (gray, rgb or cmyk): written as
    // an ICCBased space whose alternate is that device space.
    std::vector<uint8_t> iccprofile;
    bool decodeinverted = false; // a Decode array that swaps every component's range
    pdffilter filter = pdffilter::none;
    ccittparams ccitt;
    predictorparams predictor;
    // DCT data: whether the decoder turns YCbCr into RGB (1) or not (0);
    // -1 leaves it to the reader's rule (three components: yes).
    int8_t colortransform = -1;
    std::string error;
    // Set when the samples were decoded from a lossy coding that PDF cannot
    // carry: its name in messages ("HEIC", "WebP"). The compression stage
    // then codes them as JPEG unless told to keep them lossless.
    std::string lossycoding;

    // Decoded samples of a page that could also be embedded as stored: the
    // stored description, used when compressing the samples does not give
    // clearly smaller data.
    std::shared_ptr<const imagedesc> asstored;

    // The page's transparency: a grey image of the same size, written as
    // the soft mask of this one.
    std::shared_ptr<const imagedesc> softmask;
    orientation upright = orientation::normal;

    std::vector<uint8_t> data; // the image stream, as embedded
    // Or, with its file set, where in the image file the stream is (data is
    // then empty). Only stored data that is embedded as it is lies there.
    fileextent stored;
    // False when the data cannot be embedded as stored; `reencode` then
    // says how the page is re-encoded first.
    bool passthrough = true;
    std::shared_ptr<const reencoding> reencode;

    // Back to a fresh description. The data buffer keeps its storage, so
    // that one description can serve page after page without allocating.
    void reset() {
        std::vector<uint8_t> buffer = std::move(data);
        buffer.clear();
        *this = imagedesc{};
        data = std::move(buffer);
    }
    // The length of the image stream, wherever it is.
    uint64_t streamlength() const { return stored.file ? stored.length : data.size(); }
};

// How a page that cannot be embedded as stored is re-encoded through the
// imaging library into a temporary file, and how the page is then described
// from that file. Made by the probe of the page's format.
class reencoding {
public:
    virtual ~reencoding() = default;
    // The imaging library's option text and output format ("TIF", "JPG").
    virtual std::string options() const = 0;
    virtual std::string format() const = 0;
    // Non-empty when the page cannot be re-encoded at all: the reason.
    virtual std::string refusal() const = 0;
    // Reads the temporary file as the kind it was written as and describes
    // the page with its data; the page keeps its size and resolution.
    virtual status adopt(const std::string& tempfile, imagedesc& page) const = 0;
};

// The colour components of a pixel in a device space (an indexed pixel's
// one index, a grey one).
inline int components(colourspace colour) {
    switch (colour) {
    case colourspace::rgb:
        return 3;
    case colourspace::cmyk:
        return 4;
    default:
        return 1;
    }
}

// JPEG 2000 data and samples of more than 8 bits came with PDF 1.5.
inline bool needspdf15(const imagedesc& image) {
    return image.filter == pdffilter::jpx || image.bitspercomponent > 8 ||
           (image.softmask && needspdf15(*image.softmask));
}

} // namespace ovin
