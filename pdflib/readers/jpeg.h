// The JPEG reader. A JPEG file goes into the PDF whole (DCTDecode), so only
// its header is read: pixel size, colour components, the JFIF resolution,
// the Adobe colour-transform marker and where its APP1 and APP2 segments lie
// (EXIF data and ICC profiles), without decoding any image data. Only
// codings that PDF readers can decode are accepted.
#pragma once

#include "readers/bytesource.h"
#include "readers/imagedesc.h"
#include "readers/registry.h"
#include "status.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

// The header of a JPEG file.
class jpeginfo {
public:
    // True when the scan reached a frame header followed by a start of
    // scan, or a start of scan or end of image before any frame header
    // (size 0). False on failure: `why` says why a read failed, else
    // `errortext` why the file is refused, except for a file that does not
    // start with a JPEG start-of-image marker, which fails with both empty.
    // `name` names the file in errortext.
    bool read(bytesource& source, const std::string& name);

    std::string errortext;
    fault why;
    uint16_t xdensity = 0, ydensity = 0; // dots per inch, 0 when the file gives none
    uint32_t width = 0, height = 0;
    int64_t filesize = 0;
    uint8_t components = 0;
    bool adobe = false;         // an Adobe APP14 segment was seen
    uint8_t adobetransform = 0; // its transform byte

    // An APP1 or APP2 segment seen before the first scan (where EXIF data
    // and ICC profiles are kept): its marker code and where its body (after
    // the length field) lies in the file. At most kMaxAppSegments are kept.
    struct appsegment {
        uint8_t code = 0;
        uint64_t offset = 0;
        uint16_t length = 0;
    };
    static constexpr size_t kMaxAppSegments = 512;
    std::vector<appsegment> appsegments;
};

// The page a JPEG file with this header makes, embedded whole: its size,
// colour space (CMYK from Adobe software inverted) and DCT coding.
void describejpeg(const jpeginfo& header, imagedesc& out);

// Describes the JPEG held by `source` as a page (`name` names the file in
// messages): its header, with the EXIF orientation, the EXIF resolution
// where JFIF gives none, and the ICC profile of the APP2 chunks. Unless
// `mode` is skip, the data is the whole file: left in the file
// (`out.stored`) when the source is one, else read into `out.data`.
status readjpegdocument(bytesource& source, const std::string& name, imagedata mode,
                        imagedesc& out);

} // namespace ovin
