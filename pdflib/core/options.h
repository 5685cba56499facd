// What a document may do beyond the classic behaviour of the fourteen
// exports. Every option's default is the classic behaviour; the document
// API starts from its own defaults (documentdefaults()). Which face a
// library has is not an option: its policy (faces/policy.h) decides that.
#pragma once

#include "pagelimits.h"

#include <cstdint>
#include <string>

namespace ovin {

enum class pageorientation : uint8_t { automatic, portrait, landscape };

// How an image meets a page of a given size: fitted inside it, filling it
// (cut at the edges), stretched to it exactly, only ever shrunk to fit, or
// only ever enlarged to fit. Always centred.
enum class pagefit : uint8_t { into, fill, exact, shrink, enlarge };

struct pagelayout {
    // The page size in points; 0 by 0 gives every page its image's own
    // size (plus the borders).
    double width = 0;
    double height = 0;
    // Portrait or landscape turns the page size to stand that way;
    // automatic turns it the way of each image.
    pageorientation orientation = pageorientation::automatic;
    pagefit fit = pagefit::into;
    // A box in points the picture is fitted into (as the fit says); 0 by 0
    // for none. Without a page size the page is then the fitted picture
    // (plus the borders); with one, the picture is centred on it.
    double imagewidth = 0;
    double imageheight = 0;
    // Margins in points, on the left and right, and on the top and bottom.
    double borderx = 0;
    double bordery = 0;
    // A page of an image's own size is its exact size, not rounded to whole
    // points (which cut off a column of a 300-dpi scan or stretched a small
    // image).
    bool exact = false;
    // Degrees clockwise every image page is turned on top of its own
    // orientation (a feeder that scans sideways): 0, 90, 180 or 270.
    int rotate = 0;

    bool classic() const {
        return width <= 0 && height <= 0 && borderx <= 0 && bordery <= 0 && !boxed();
    }
    bool sized() const { return width > 0 && height > 0; }
    bool boxed() const { return imagewidth > 0 && imageheight > 0; }
    bool leavesroom() const { return bordersleaveroom(width, height, borderx, bordery); }
};

// Document information beyond the title and producer.
struct documentinfo {
    std::string author;
    std::string subject;
    std::string keywords;
    std::string creator;
    // Seconds since 1970 (UTC); -1: the time of the save, or
    // SOURCE_DATE_EPOCH when that is set (reproducible output).
    int64_t created = -1;
    int64_t modified = -1;
};

struct documentoptions {
    // Pages are turned upright by their EXIF or TIFF orientation.
    bool autoorient = false;
    // Embedded ICC profiles become ICCBased colour spaces.
    bool iccprofiles = false;
    // Dots per inch for files that give no resolution (0: the classic rule,
    // the first image's resolution or 200, with a warning).
    double defaultdpi = 0;
    // Dots per inch that replace every file's own resolution (0: none).
    double forcedpi = 0;
    // 1 to 100: decoded 8-bit grey and RGB pages are JPEG-coded at this
    // quality instead of losslessly; 0 never.
    int jpegquality = 0;
    // Pictures decoded from a lossy coding that PDF cannot carry (HEIC,
    // AVIF, lossy WebP and JPEG XL) are compressed losslessly rather than
    // coded as JPEG (at jpegquality, else kLossyQuality).
    bool lossless = false;
    // An animated file gives its first frame only, not a page per frame.
    bool firstframe = false;
    // The document is PDF/A-2b: every font embedded, an sRGB output intent,
    // XMP that says so, a file identifier, no LZW data, and pages whose
    // colours need another output intent refused.
    bool pdfa = false;
    // Languages for text recognition ("eng", "eng+deu"): every image page
    // gets an invisible text layer of the words Tesseract finds in it.
    // Empty: none.
    std::string ocrlanguages;
    // Recognised pages are turned upright (/Rotate) where Tesseract's
    // orientation detection says they lie sideways or upside down.
    bool ocrorient = false;
    // The most pixels a page that is decoded may have; 0 for no limit.
    uint64_t maxpixels = 0;
    // A save prepares the next page on a second thread while it writes one
    // (where the face allows it; the bytes are those of a save without).
    bool prepareahead = false;
    pagelayout layout;
    documentinfo info;
};

// A page of 600 million pixels takes 1.8 GB as 8-bit RGB samples; an A0
// sheet at 600 dpi is 557 million.
inline constexpr uint64_t kDefaultMaxPixels = 600'000'000;

// The JPEG quality of pictures decoded from a lossy coding when none is
// set: high enough that a second generation adds no visible loss.
inline constexpr int kLossyQuality = 92;

// The defaults of the document API.
inline documentoptions documentdefaults() {
    documentoptions o;
    o.autoorient = true;
    o.iccprofiles = true;
    o.prepareahead = true;
    o.maxpixels = kDefaultMaxPixels;
    o.layout.exact = true;
    return o;
}

} // namespace ovin
