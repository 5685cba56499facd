// TIFF pages of the classic face: the TIFF reader's tags and strips turned
// into a page description with the classic texts, and the re-encoding of
// pages whose data cannot be embedded as stored (several strips, samples
// stored plane by plane).
#include "faces/classic/messages.h"
#include "faces/classic/pages.h"
#include "readers/bytesource.h"
#include "readers/tiff/tiffinfo.h"

#include <memory>

namespace ovin {

namespace {

enum : uint16_t {
    kNone = 1,
    kModifiedHuffman = 2,
    kGroup3 = 3,
    kGroup4 = 4,
    kJpeg = 6,
    kPackBits = 32773,
};

enum : int16_t { kWhiteIsZero = 0, kRgb = 2, kPalette = 3, kSeparated = 5 };

// The tags of a page that decide how its data is described.
struct tiffsamples {
    uint16_t compression = 0;
    uint16_t bits = 0;        // bits per sample
    int16_t photometric = -1; // -1 when the page has none
    uint16_t samples = 1;     // samples per pixel of the data
    uint32_t t4options = 0;   // bit 0: two-dimensional Group 3 coding
    std::vector<uint8_t> palette;
};

// An indexed colour space over the palette, when it fits the depth.
bool indexed(const tiffsamples& t, imagedesc& d) {
    const size_t entries = t.palette.size() / 3;
    if (entries == 0 || t.bits > 8 || entries > (size_t{1} << t.bits)) {
        return false;
    }
    d.colour = colourspace::indexed;
    d.palette = t.palette;
    return true;
}

// Colour space (and Decode) of 8-bit grey, palette, RGB or CMYK samples.
// JPEG data carries its own component count and no palette.
void describecolour(const tiffsamples& t, const std::string& filename, imagedesc& d) {
    const bool jpegdata = t.compression == kJpeg;
    if (!jpegdata && t.photometric == kPalette && indexed(t, d)) {
        return;
    }
    switch (t.samples) {
    case 1:
        d.colour = colourspace::gray;
        d.decodeinverted = t.photometric == kWhiteIsZero;
        return;
    case 3: // RGB; a JPEG decoder turns its YCbCr into RGB itself
        if (jpegdata || t.photometric == kRgb) {
            d.colour = colourspace::rgb;
            return;
        }
        break;
    case 4: // CMYK, not RGB with an extra sample
        if (jpegdata || t.photometric == kSeparated) {
            d.colour = colourspace::cmyk;
            return;
        }
        break;
    default:
        break;
    }
    d.error = "Unsupported samples per pixel value " + std::to_string(t.samples) +
              " with photometric interpretation " + std::to_string(t.photometric) + " in file " +
              filename;
}

void describe(const tiffsamples& t, const std::string& filename, imagedesc& d) {
    d.bitspercomponent = 0;
    d.colour = colourspace::none;
    d.palette.clear();
    d.decodeinverted = false;
    d.filter = pdffilter::none;
    d.ccitt = {};
    d.error.clear();

    const bool ccitt = t.compression >= kModifiedHuffman && t.compression <= kGroup4;
    const bool whiteiszero = t.photometric == kWhiteIsZero || t.photometric == -1;
    if (t.bits == 1) {
        d.bitspercomponent = 1;
        if (t.photometric != kPalette || !indexed(t, d)) {
            d.colour = colourspace::gray;
            d.decodeinverted = !ccitt && whiteiszero;
        }
    } else if (t.bits == 8) {
        d.bitspercomponent = 8;
        describecolour(t, filename, d);
    } else {
        d.error =
            "Unsupported bits per sample value " + std::to_string(t.bits) + " in file " + filename;
    }

    // CCITT data decodes black runs to 1 bits whatever the page's
    // photometric interpretation; BlackIs1 tells the reader which bit value
    // the page shows as black.
    d.ccitt.blackis1 = !whiteiszero;
    switch (t.compression) {
    case kNone:
        break;
    case kModifiedHuffman: // no EOLs, every row starts on a byte boundary
        d.filter = pdffilter::ccittfax;
        d.ccitt.k = 0;
        d.ccitt.encodedbytealign = true;
        break;
    case kGroup3:
        // Fill bits before byte-aligned EOLs need no entry: both readers
        // skip them while looking for the EOL, and MuPDF misreads such data
        // when told that lines are byte-aligned.
        d.filter = pdffilter::ccittfax;
        d.ccitt.k = (t.t4options & 1U) != 0 ? 4 : 0;
        break;
    case kGroup4:
        d.filter = pdffilter::ccittfax;
        d.ccitt.k = -1;
        break;
    case kJpeg:
        d.filter = pdffilter::dct;
        break;
    default:
        if (d.error.empty()) {
            d.error = "Unsupported compression type " + std::to_string(t.compression) +
                      " in file " + filename;
        }
    }
}

// The compressions whose strips the classic face embeds as stored; the
// text that refuses any other.
std::string refusedcompression(const tiffinfo& probe, const std::string& name) {
    const tifftags& t = probe.tags;
    switch (t.compression) {
    case kNone:
    case kModifiedHuffman:
    case kGroup3:
    case kGroup4:
    case kPackBits:
        return {};
    case 5:
        return "Error - LZW Compression not yet supported";
    case kJpeg:
        return t.jpegoffset > 0 && t.jpeglength > 0 ? std::string()
                                                    : "Error - JPG Header or JPG Length is zero";
    default:
        return "Error - TIFF Compression " + std::to_string(t.compression) + " found in " + name;
    }
}

} // namespace

int32_t classicrowsperstrip(const tifftags& t) {
    int32_t rows = -1;
    if (t.hasrowsperstrip) {
        rows = t.rowsperstrip == 0xFFFFFFFFU ? static_cast<int32_t>(t.height)
                                             : static_cast<int32_t>(t.rowsperstrip);
    }
    if (rows == -1 && t.stripbytecounts.size() == 1) {
        rows = static_cast<int32_t>(t.height);
    }
    return rows;
}

status readclassictiff(bytesource& source, const std::string& name, uint32_t page, imagedata mode,
                       probecache* cache, tiffinfo& probe, std::vector<uint8_t>& data) {
    const auto refuse = [](std::string text) {
        return status(OVINPDF_IMAGE_ERROR, std::move(text));
    };
    const auto readerror = [&](const fault& why) {
        return refuse("I/O Error " + std::to_string(classicnumber(why)) + " while reading " + name);
    };
    data.clear();
    if (cache != nullptr && cache->file == name) {
        probe.knowndirectories = &cache->tiffdirectories;
    }
    probe.read(source, page);
    if (cache != nullptr && !probe.directories.empty()) {
        cache->file = name;
        cache->tiffdirectories = std::move(probe.directories);
    }
    switch (probe.problem) {
    case tiffproblem::readfailed:
        return readerror(probe.why);
    case tiffproblem::byteorder:
        return refuse("Invalid TIFF Image - byte order is not big-endian or little-endian");
    case tiffproblem::version:
        return refuse("Invalid TIFF Image - Header code is not 42");
    case tiffproblem::valuesfailed:
        return classicioerror(probe.why);
    default:
        break;
    }
    // The strips are read when the page's entries were (before a later
    // directory's failure counts).
    fault stripfault;
    probe.usebuffer(data);
    if (probe.found && !probe.entriescut &&
        !probe.readstrips(source, mode == imagedata::read, stripfault)) {
        probe.takedata(data);
        return classicioerror(stripfault);
    }
    probe.takedata(data);
    if (std::string refused = refusedcompression(probe, name); !refused.empty()) {
        return refuse(std::move(refused));
    }
    if (probe.problem == tiffproblem::chainbroken) {
        return readerror(probe.why);
    }
    if (probe.nodata()) {
        // Strips that hold nothing would be an empty, broken page.
        return refuse("Error - TIFF page " + std::to_string(page) + " has no image data in " +
                      name);
    }
    return {};
}

status readclassictiff(const std::string& name, uint32_t page, imagedata mode, probecache* cache,
                       tiffinfo& probe, std::vector<uint8_t>& data) {
    if (!fileexists(name)) {
        return {OVINPDF_IMAGE_ERROR, "Error - TIFF Image " + name + " does not exist"};
    }
    filesource source;
    if (const int error = source.open(name); error != 0) {
        return {OVINPDF_IMAGE_ERROR,
                "Access to " + name + " is denied - error " + std::to_string(error)};
    }
    return readclassictiff(source, name, page, mode, cache, probe, data);
}

namespace {

// Re-encoding of a page stored in several strips (or plane by plane): the
// imaging library writes it as one strip of uncompressed or CCITT data, or
// as a JPEG file, and the page is described with the source's samples and
// the new coding.
class tiffreencoding final : public reencoding {
public:
    tiffreencoding(tiffsamples source, int32_t height, std::string filename)
        : source_(std::move(source)), height_(height), filename_(std::move(filename)) {}

    std::string options() const override {
        const std::string rows = "TIFF_ROWSPERSTRIP = " + std::to_string(height_);
        const std::string group4 = "COMPRESS = ON\rOVERWRITE = ON\rTIFF_COMPRESS = GROUP4\r" + rows;
        switch (source_.compression) {
        case kNone:
            return "COMPRESS = OFF\rOVERWRITE = ON\r" + rows;
        case kModifiedHuffman:
        case kGroup4:
            return group4;
        case kGroup3:
            return "COMPRESS = ON\rOVERWRITE = ON\rTIFF_COMPRESS = GROUP3\r" + rows;
        case kPackBits:
            return source_.bits == 1 ? group4
                                     : "COMPRESS = ON\rOVERWRITE = ON\rJPEG_OPTIMIZE_CODING = "
                                       "ON\rLOSSY_QUALITY = 75";
        default:
            return {};
        }
    }

    std::string format() const override {
        switch (source_.compression) {
        case kNone:
        case kModifiedHuffman:
        case kGroup3:
        case kGroup4:
            return "TIF";
        case kPackBits:
            return source_.bits == 1 ? "TIF" : "JPG";
        default:
            return {};
        }
    }

    std::string refusal() const override {
        if (source_.compression == kPackBits && source_.bits != 1 && source_.bits != 8) {
            return "Unsupported bits per sample value of " + std::to_string(source_.bits) +
                   " for PACKBITS compression in image " + filename_;
        }
        return {};
    }

    status adopt(const std::string& tempfile, imagedesc& page) const override {
        const std::string written = format();
        tiffsamples now = source_;
        std::vector<uint8_t> data;
        if (written == "TIF") {
            tiffinfo probe;
            if (status read = readclassictiff(tempfile, 1, imagedata::read, nullptr, probe, data);
                !read.ok()) {
                return read;
            }
            now.compression = probe.tags.compression;
            now.t4options = probe.tags.t4options;
        } else if (written == "JPG") {
            jpeginfo probe;
            bool shown = false;
            if (status read = classicjpegheader(tempfile, probe, shown); !read.ok()) {
                return read;
            }
            if (status read = readwholefile(tempfile, probe.filesize, data); !read.ok()) {
                return read;
            }
            now.compression = kJpeg;
            now.samples = probe.components;
            now.t4options = 0;
        } else {
            // Nothing the library can read was asked for.
            return {OVINPDF_UNSUPPORTED_TYPE, tempfile};
        }
        describe(now, filename_, page);
        page.data = std::move(data);
        page.passthrough = true;
        return {};
    }

private:
    tiffsamples source_;
    int32_t height_;
    std::string filename_;
};

} // namespace

status classictiffpage(const std::string& name, uint32_t page, imagedata mode, readcontext& context,
                       imagedesc& out) {
    tiffinfo probe;
    if (status read = readclassictiff(name, page, mode, context.cache, probe, out.data);
        !read.ok()) {
        return read;
    }
    const tifftags& t = probe.tags;
    out.width = clamppixels(t.width);
    out.height = clamppixels(t.height);
    out.xdpi = static_cast<uint16_t>(probe.xres() & 0xFFFF);
    out.ydpi = static_cast<uint16_t>(probe.yres() & 0xFFFF);
    out.pagesinfile = probe.pagecount;

    tiffsamples samples;
    samples.compression = t.compression;
    samples.bits = probe.bitspersample();
    samples.photometric = t.hasphotometric ? static_cast<int16_t>(t.photometric) : -1;
    samples.samples = t.samplesperpixel;
    samples.t4options = t.t4options;
    const size_t entries = t.colormap.size() / 3;
    if (samples.photometric == kPalette && entries > 0) {
        samples.palette.reserve(entries * 3);
        for (size_t k = 0; k < entries; ++k) {
            for (size_t channel = 0; channel < 3; ++channel) {
                samples.palette.push_back(
                    static_cast<uint8_t>(t.colormap[channel * entries + k] >> 8));
            }
        }
    }
    describe(samples, name, out);
    // One strip holds the whole page; a page whose samples are stored plane
    // by plane is re-encoded too, since readers expect them interleaved.
    out.passthrough = int64_t{classicrowsperstrip(t)} >= int64_t{t.height} &&
                      !(t.planarconfig == 2 && t.samplesperpixel > 1);
    if (!out.passthrough) {
        out.reencode = std::make_shared<tiffreencoding>(std::move(samples), out.height, name);
    }
    return {};
}

} // namespace ovin
