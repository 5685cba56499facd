// Reads the header of a JPEG file: pixel size, colour components, JFIF
// resolution and the Adobe colour-transform marker, without decoding any
// image data. The whole file is later embedded as it is (DCTDecode), so only
// codings that PDF readers can decode are accepted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovin {

class bytesource;

class jpeginfo {
public:
    // True when the scan reached a frame header followed by a start of scan,
    // or a start of scan or end of image before any frame header (size 0). False on failure:
    // errortext says why, except for a file that does not start with a JPEG
    // start-of-image marker, which fails with errortext empty.
    bool readfile(const std::string& filename);
    // The same from a byte source; filename only names it in messages.
    bool read(bytesource& source, const std::string& filename);

    std::string errortext;
    uint16_t xdensity = 0, ydensity = 0; // dots per inch, 0 when the file gives none
    uint32_t width = 0, height = 0;
    int64_t filesize = 0;
    uint8_t components = 0;
    bool adobe = false;         // an Adobe APP14 segment was seen
    uint8_t adobetransform = 0; // its transform byte
    int ioerror = 0;            // non-zero: a read failed (errno, or 100 for a short read)
    bool showmessage = false;   // errortext must also be shown to the user in a message box

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

} // namespace ovin
