// What a document may do beyond the classic behaviour of the fourteen
// exports. Every option's default is the classic behaviour; the document
// API sets its own defaults (documentface()).
#pragma once

namespace ovin {

struct documentoptions {
    // The document face: an added file's kind comes from its first bytes
    // rather than from its name's extension, the document face's probes
    // read it (more formats and codings, ICC profiles, orientation), and a
    // file without a resolution gets one warning line of its own.
    bool documentface = false;
    // Pages are turned upright by their EXIF or TIFF orientation.
    bool autoorient = false;
    // Embedded ICC profiles become ICCBased colour spaces.
    bool iccprofiles = false;
    // Dots per inch for files that give no resolution (0: the classic rule,
    // the first image's resolution or 200, with a warning).
    double defaultdpi = 0;
    // Dots per inch that replace every file's own resolution (0: none).
    double forcedpi = 0;
};

// The defaults of the document API.
inline documentoptions documentface() {
    documentoptions o;
    o.documentface = true;
    o.autoorient = true;
    o.iccprofiles = true;
    return o;
}

} // namespace ovin
