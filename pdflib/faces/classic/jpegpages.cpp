// JPEG pages: the whole file is embedded as it is (DCTDecode).
#include "readers/jpeginfo.h"
#include "readers/registry.h"

#include <cerrno>
#include <limits>

namespace ovin {

void describejpeg(const jpeginfo& probe, imagedesc& out) {
    out.width = clamppixels(probe.width);
    out.height = clamppixels(probe.height);
    out.pagesinfile = 1;
    out.bitspercomponent = 8;
    out.decodeinverted = false;
    if (probe.components == 1) {
        out.colour = colourspace::gray;
    } else if (probe.components == 4) {
        out.colour = colourspace::cmyk;
        // Adobe software writes CMYK samples inverted.
        out.decodeinverted = probe.adobe;
    } else {
        out.colour = colourspace::rgb;
    }
    out.filter = pdffilter::dct;
}

status probejpegpage(const std::string& name, uint32_t, imagedata mode, probecontext& context,
                     imagedesc& out) {
    jpeginfo probe;
    if (!probe.readfile(name)) {
        if (probe.ioerror == 0 && probe.showmessage) {
            context.ui.message(probe.errortext);
        }
        return probefailure(probe.ioerror, probe.errortext);
    }
    describejpeg(probe, out);
    out.xdpi = probe.xdensity;
    out.ydpi = probe.ydensity;
    if (mode == imagedata::skip) {
        if (probe.filesize > std::numeric_limits<uint32_t>::max()) {
            return {OVINPDF_IO_ERROR, std::to_string(EFBIG)};
        }
        out.data.clear();
        return {};
    }
    return readwholefile(name, probe.filesize, out.data);
}

} // namespace ovin
