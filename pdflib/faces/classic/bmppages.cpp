// Bitmap pages of the classic face: uncompressed 1-, 8- and 24-bit pixels
// read through the bitmap reader with the classic rules and texts, as
// top-down rows, 1-bit rows packed or three bytes red, green, blue per
// pixel, embedded uncompressed.
#include "faces/classic/messages.h"
#include "faces/classic/pages.h"
#include "numbers.h"
#include "readers/bmp.h"
#include "readers/bytesource.h"

#include <algorithm>
#include <limits>

namespace ovin {

namespace {

void describe(const classicbmpfacts& facts, imagedesc& d) {
    if (facts.bitcount != 1) {
        d.bitspercomponent = 8;
        d.colour = colourspace::rgb;
        return;
    }
    d.bitspercomponent = 1;
    // Bit value 0 shows palette entry 0: black-then-white is plain
    // DeviceGray, white-then-black needs Decode, anything else is an
    // indexed colour space.
    const std::array<uint8_t, 6>& p = facts.palette1;
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
}

// The 8-bit indices through the palette: entries past the palette read
// show black.
std::vector<uint8_t> expand(const std::vector<uint8_t>& indices, std::vector<uint8_t> palette) {
    palette.resize(256 * 3, 0);
    std::vector<uint8_t> rgb(indices.size() * 3);
    uint8_t* out = rgb.data();
    for (const uint8_t index : indices) {
        std::copy_n(&palette[size_t{index} * 3], 3, out);
        out += 3;
    }
    return rgb;
}

} // namespace

status readclassicbmp(bytesource& source, const std::string& name, imagedata mode,
                      classicbmpfacts& facts, std::vector<uint8_t>& data) {
    const auto refuse = [](std::string text) {
        return status(OVINPDF_IMAGE_ERROR, std::move(text));
    };
    facts = {};
    data.clear();
    bmpheader h;
    if (status read = readbmpinfoheader(source, h); !read.ok()) {
        return classicioerror(read.why());
    }
    facts.width = h.width;
    facts.height = h.height;
    facts.xdpi = divroundeven(uint64_t{h.xppm} * 254, 10000); // pixels per metre to dpi
    facts.ydpi = divroundeven(uint64_t{h.yppm} * 254, 10000);
    if (facts.xdpi == 0) {
        facts.xdpi = facts.ydpi = 200;
    }

    uint64_t imagesize = h.imagesize;
    if (imagesize == 0) {
        // No size given: measured as 24-bit rows whatever the bit count. A
        // block bigger than the whole file says the data is compressed.
        imagesize = (uint64_t{h.width} * 3 + 3) / 4 * 4 * h.height;
        if (imagesize > h.filesize) {
            return refuse("Unsupported BMP compression type in file " + name);
        }
    }
    facts.bitcount = h.bits;
    if (h.bits != 1 && h.bits != 8 && h.bits != 24) {
        return refuse("Unsupported bitcount " + std::to_string(h.bits) + " in " + name);
    }
    if (h.compression != 0) {
        return refuse("Unsupported BMP compression type in file " + name);
    }
    if (h.headersize < 40) {
        return refuse("Unsupported BMP header size " + std::to_string(h.headersize) + " in file " +
                      name);
    }
    if (h.width == 0 || h.height == 0 || h.height > uint32_t{std::numeric_limits<int32_t>::max()}) {
        return refuse("Invalid BMP image size " + std::to_string(h.storedwidth) + " x " +
                      std::to_string(h.storedheight) + " in file " + name);
    }
    const uint64_t blocksize = h.stride() * h.height;
    if (blocksize > imagesize) {
        return refuse("Invalid BMP pixel data size in file " + name);
    }
    const uint64_t outsize =
        h.bits == 1 ? h.rowbytes() * h.height : uint64_t{h.width} * h.height * 3;
    if (outsize > std::numeric_limits<uint32_t>::max()) {
        return refuse("BMP image too large in file " + name);
    }

    // The palette follows the info header, however long that is: the
    // colours-used entries of an 8-bit file (or all 256), both of a 1-bit one.
    std::vector<uint8_t> palette;
    if (h.bits != 24) {
        const uint64_t entries =
            h.bits == 1 ? 2 : (h.colorsused >= 1 && h.colorsused <= 256 ? h.colorsused : 256);
        if (status read = readbmppalette(source, h, entries, palette); !read.ok()) {
            return classicioerror(read.why());
        }
        if (h.bits == 1) {
            std::copy_n(palette.begin(), 6, facts.palette1.begin());
        }
    }
    // Only whole rows are kept; bytes after the last row are not needed.
    // Checked against the file before anything is allocated.
    if (uint64_t{h.offset} + blocksize > source.size()) {
        return classicioerror(fault::truncated());
    }
    if (mode == imagedata::skip) {
        return {};
    }
    bmppixels pixels;
    if (status read = decodebmp(source, h, pixels); !read.ok()) {
        return classicioerror(read.why());
    }
    data = h.bits == 8 ? expand(pixels.data, std::move(palette)) : std::move(pixels.data);
    return {};
}

status readclassicbmp(const std::string& name, imagedata mode, classicbmpfacts& facts,
                      std::vector<uint8_t>& data) {
    facts = {};
    data.clear();
    if (!fileexists(name)) {
        return {OVINPDF_IMAGE_ERROR, "Error - BMP Image " + name + " does not exist"};
    }
    filesource source;
    if (const int error = source.open(name); error != 0) {
        return {OVINPDF_IMAGE_ERROR,
                "Access to " + name + " is denied - error " + std::to_string(error)};
    }
    return readclassicbmp(source, name, mode, facts, data);
}

status classicbmppage(const std::string& name, imagedata mode, readcontext&, imagedesc& out) {
    classicbmpfacts facts;
    if (status read = readclassicbmp(name, mode, facts, out.data); !read.ok()) {
        return read;
    }
    out.width = clamppixels(facts.width);
    out.height = clamppixels(facts.height);
    out.xdpi = static_cast<uint16_t>(facts.xdpi & 0xFFFF);
    out.ydpi = static_cast<uint16_t>(facts.ydpi & 0xFFFF);
    out.pagesinfile = 1;
    describe(facts, out);
    return {};
}

} // namespace ovin
