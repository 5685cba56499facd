// Bitmap pages of the classic face: the pixels as top-down rows, 1-bit rows packed or three
// bytes red, green, blue per pixel, embedded uncompressed.
#include "faces/classic/pages.h"
#include "readers/bmpinfo.h"

namespace ovin {

namespace {

void describe(const bmpinfo& probe, const std::string& filename, imagedesc& d) {
    if (probe.bitcount == 1) {
        d.bitspercomponent = 1;
        // Bit value 0 shows palette entry 0: black-then-white is plain
        // DeviceGray, white-then-black needs Decode, anything else is an
        // indexed colour space.
        const std::array<uint8_t, 6>& p = probe.palette1;
        constexpr std::array<uint8_t, 6> blackwhite{0, 0, 0, 255, 255, 255};
        constexpr std::array<uint8_t, 6> whiteblack{255, 255, 255, 0, 0, 0};
        if (p == blackwhite) {
            d.colour = colourspace::gray;
        } else if (p == whiteblack) {
            d.colour = colourspace::gray;
            d.decodeinverted = true;
        } else {
            d.colour = colourspace::indexed;
            d.palette.assign(p.begin(), p.end());
        }
    } else if (probe.bitcount == 8 || probe.bitcount == 24) {
        d.bitspercomponent = 8;
        d.colour = colourspace::rgb;
    } else {
        d.error = "Unsupported bits per sample value in file " + filename;
    }
}

} // namespace

status classicbmppage(const std::string& name, imagedata mode, readcontext&, imagedesc& out) {
    bmpinfo probe;
    probe.readdata = mode == imagedata::read;
    probe.readfile(name);
    if (probe.haserror()) {
        return probe.ioerror != 0 ? status(OVINPDF_IO_ERROR, std::to_string(probe.ioerror))
                                  : status(OVINPDF_IMAGE_ERROR, probe.geterrortext());
    }
    out.width = clamppixels(probe.width);
    out.height = clamppixels(probe.height);
    out.xdpi = static_cast<uint16_t>(probe.xdpi & 0xFFFF);
    out.ydpi = static_cast<uint16_t>(probe.ydpi & 0xFFFF);
    out.pagesinfile = 1;
    describe(probe, name, out);
    out.data.resize(probe.readdata ? probe.datasize : 0);
    probe.copypixels(out.data.data());
    return {};
}

} // namespace ovin
