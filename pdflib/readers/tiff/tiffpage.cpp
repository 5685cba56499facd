// The TIFF reader: a page's tags from the structure reader, the plan of how
// its data reaches the PDF, and its description.
#include "readers/tiff/tiffpage.h"

#include "numbers.h"
#include "readers/tiff/libtiff.h"
#include "readers/tiff/tiffplan.h"

#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <span>

namespace ovin {

namespace {

status refuse(const std::string& where, const std::string& what) {
    return {OVINPDF_IMAGE_ERROR, "TIFF " + where + ": " + what};
}

uint64_t divideup(uint64_t n, uint64_t d) {
    return d == 0 ? 0 : (n + d - 1) / d;
}

} // namespace

std::vector<uint8_t> tiffpalette(const pagetags& t) {
    const size_t entries = t.colormap.size() / 3;
    const bool eightbit =
        std::all_of(t.colormap.begin(), t.colormap.end(), [](uint16_t v) { return v < 256; });
    std::vector<uint8_t> palette;
    palette.reserve(3 * entries);
    for (size_t k = 0; k < entries; ++k) {
        for (size_t channel = 0; channel < 3; ++channel) {
            const uint16_t v = t.colormap[channel * entries + k];
            palette.push_back(static_cast<uint8_t>(eightbit ? v : v >> 8));
        }
    }
    return palette;
}

namespace {

// A page that libtiff decodes needs libtiff and its codec; a page kept as
// stored needs neither.
status libtiffdecodes(const pagetags& t, const std::string& where) {
    if (const std::string& problem = libtiffproblem(); !problem.empty()) {
        return refuse(where, problem);
    }
    if (t.compression != COMPRESSION_NONE && TIFFIsCODECConfigured(t.compression) == 0) {
        return refuse(where, "unsupported compression type " + std::to_string(t.compression));
    }
    return {};
}

} // namespace

status tiffpagetags(const tiffinfo& info, const std::string& where, pagetags& t) {
    const tifftags& g = info.tags;
    t = pagetags{};
    t.width = g.width;
    t.height = g.height;
    if (!g.bitspersample.empty()) {
        t.bits = g.bitspersample.front();
        if (std::any_of(g.bitspersample.begin(), g.bitspersample.end(),
                        [&](uint16_t b) { return b != t.bits; })) {
            return refuse(where, "its samples have different bits per sample");
        }
    }
    t.samples = g.samplesperpixel;
    t.sampleformat = g.sampleformat;
    t.photometric = g.hasphotometric ? static_cast<int32_t>(g.photometric & 0xFFFF) : -1;
    t.compression = g.hascompression ? g.compression : COMPRESSION_NONE;
    t.planar = g.planarconfig;
    t.fillorder = g.fillorder;
    t.orientation = g.orientation;
    t.inkset = g.inkset;
    t.t4options = g.t4options;
    t.t6options = g.t6options;
    // The predictor belongs to LZW and Deflate data.
    const bool predicted = t.compression == COMPRESSION_LZW ||
                           t.compression == COMPRESSION_ADOBE_DEFLATE ||
                           t.compression == COMPRESSION_DEFLATE;
    t.predictor = predicted ? g.predictor : PREDICTOR_NONE;
    t.extras = g.extrasamples;
    t.colormap = g.colormap;
    t.jpegtables = t.compression == COMPRESSION_JPEG ? g.jpegtables : tifftags::extent{};
    t.iccprofile = g.iccprofile;
    // Resolutions without a unit say only the aspect ratio: none.
    if (g.resolutionunit != RESUNIT_NONE) {
        const perunit unit =
            g.resolutionunit == RESUNIT_CENTIMETER ? perunit::centimetre : perunit::inch;
        t.xdpi = dotsperinch(g.xnum, g.xden, unit);
        t.ydpi = dotsperinch(g.ynum, g.yden, unit);
    }
    t.bigendian = info.bigendian;

    // Strips or tiles, as many as the page's size asks for: a plane of
    // them each where samples are stored plane by plane.
    const uint64_t planes = t.planar == PLANARCONFIG_SEPARATE ? t.samples : 1;
    uint64_t blocks = 0;
    t.tiled = g.tiled();
    if (t.tiled) {
        t.tilewidth = g.tilewidth;
        t.tilelength = g.tilelength;
        blocks = divideup(t.width, t.tilewidth) * divideup(t.height, t.tilelength) * planes;
        t.offsets = g.tileoffsets;
        t.counts = g.tilebytecounts;
        t.rowsperstrip = t.height;
    } else {
        const uint32_t rows = g.hasrowsperstrip ? g.rowsperstrip : t.height;
        t.rowsperstrip = std::clamp<uint32_t>(rows, 1, std::max<uint32_t>(t.height, 1));
        blocks = divideup(t.height, t.rowsperstrip) * planes;
        t.offsets = g.stripoffsets;
        t.counts = g.stripbytecounts;
    }
    if (blocks > t.offsets.size() || blocks > t.counts.size()) {
        return refuse(where, "it gives fewer " + std::string(t.tiled ? "tile" : "strip") +
                                 " offsets and byte counts than it has " +
                                 (t.tiled ? "tiles" : "strips"));
    }
    t.blocks = static_cast<uint32_t>(blocks);
    return {};
}

status plantiffpage(const pagetags& t, const std::string& where, pageplan& p) {
    p = pageplan{};
    if (t.width == 0 || t.height == 0) {
        return refuse(where, "the image has no width or height");
    }
    if (t.width > INT32_MAX || t.height > INT32_MAX) {
        return refuse(where, "an image of " + std::to_string(t.width) + " x " +
                                 std::to_string(t.height) + " pixels is too large");
    }
    if (t.sampleformat == SAMPLEFORMAT_IEEEFP) {
        return refuse(where, "floating-point samples are not supported");
    }
    if (t.sampleformat != SAMPLEFORMAT_UINT) {
        return refuse(where, "samples of format " + std::to_string(t.sampleformat) +
                                 " are not supported (only unsigned integers are)");
    }
    if (t.bits != 1 && t.bits != 2 && t.bits != 4 && t.bits != 8 && t.bits != 16) {
        return refuse(where, "unsupported bits per sample value " + std::to_string(t.bits));
    }
    // Blocks without data show blank; a page with nothing but such blocks
    // shows nothing of the file.
    if (std::all_of(t.counts.begin(), t.counts.begin() + t.blocks,
                    [](uint64_t n) { return n == 0; })) {
        return refuse(where, "its " + std::string(t.tiled ? "tiles" : "strips") + " hold no data");
    }
    if (t.extras.size() >= t.samples) {
        return refuse(where, "no colour samples besides its " + std::to_string(t.extras.size()) +
                                 " extra samples");
    }
    const auto colours = static_cast<uint16_t>(t.samples - t.extras.size());
    switch (t.photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
        p.model = samplemodel::gray;
        p.channels = 1;
        break;
    case -1: // none: grey or RGB by the sample count
        p.model = colours >= 3 ? samplemodel::rgb : samplemodel::gray;
        p.channels = colours >= 3 ? 3 : 1;
        break;
    case PHOTOMETRIC_RGB:
        p.model = samplemodel::rgb;
        p.channels = 3;
        break;
    case PHOTOMETRIC_PALETTE:
        if (t.colormap.empty()) {
            return refuse(where, "a palette image without a colour map");
        }
        p.model = samplemodel::palette;
        p.channels = 1;
        p.palette = tiffpalette(t);
        break;
    case PHOTOMETRIC_SEPARATED:
        if (t.inkset != INKSET_CMYK) {
            return refuse(where, "separated samples of inks other than CMYK are not supported");
        }
        p.model = samplemodel::cmyk;
        p.channels = 4;
        break;
    case PHOTOMETRIC_YCBCR:
        p.model = samplemodel::ycbcr;
        p.channels = 3;
        break;
    default:
        p.model = samplemodel::other;
        p.channels = 3;
        break;
    }
    if (colours < p.channels) {
        return refuse(where, std::to_string(colours) +
                                 " colour samples for photometric interpretation " +
                                 std::to_string(t.photometric));
    }
    for (size_t k = 0; k < t.extras.size(); ++k) {
        if (t.extras[k] == EXTRASAMPLE_ASSOCALPHA || t.extras[k] == EXTRASAMPLE_UNASSALPHA) {
            p.alpha = colours + static_cast<int>(k);
            p.premultiplied = t.extras[k] == EXTRASAMPLE_ASSOCALPHA;
            break;
        }
    }

    // The libtiff decoders of last resort: YCbCr that is not JPEG data
    // (subsampled), old-style JPEG, CIE L*a*b* and other encodings.
    if (t.compression == COMPRESSION_OJPEG || p.model == samplemodel::other ||
        (p.model == samplemodel::ycbcr && t.compression != COMPRESSION_JPEG)) {
        p.how = route::rgba;
        return libtiffdecodes(t, where);
    }
    // Samples a PDF image holds as they are: one model, nothing else per
    // pixel, pixels together, readers' byte order.
    const bool native =
        p.model != samplemodel::ycbcr && (p.model != samplemodel::palette || t.bits <= 8);
    const bool alone = t.samples == p.channels;
    const bool together = t.planar == PLANARCONFIG_CONTIG || t.samples == 1;
    const bool plain = native && alone && together;
    const bool readerorder = t.bits != 16 || t.bigendian;
    const bool oneblock = t.tiled
                              ? t.blocks == 1 && t.tilewidth == t.width && t.tilelength == t.height
                              : t.blocks == 1;
    p.how = route::decode;
    switch (t.compression) {
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
        // Uncompressed mode (option bit 1) is not one readers know.
        if (plain && p.model == samplemodel::gray && t.bits == 1 && oneblock &&
            (t.t4options & GROUP3OPT_UNCOMPRESSED) == 0 &&
            (t.t6options & GROUP4OPT_UNCOMPRESSED) == 0) {
            p.how = route::ccitt;
        }
        break;
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        // The TIFF predictor works on whole samples. At 16 bits poppler
        // adds the differences up wrongly, so only 8-bit samples pass.
        if (plain && oneblock && readerorder &&
            (t.predictor == PREDICTOR_NONE ||
             (t.predictor == PREDICTOR_HORIZONTAL && t.bits == 8))) {
            p.how = t.compression == COMPRESSION_LZW ? route::lzw : route::flate;
        }
        break;
    // PackBits is decoded: Deflate codes every run PackBits codes (as a
    // match at distance one) and whatever else repeats, so the compression
    // stage's result is the smaller, often by far.
    case COMPRESSION_NONE:
        if (plain && !t.tiled) {
            p.how = route::uncompressed;
        }
        break;
    case COMPRESSION_JPEG:
        if (t.bits == 8 && p.model != samplemodel::palette && alone && together && oneblock) {
            p.how = route::jpeg;
        }
        break;
    default:
        break;
    }
    return p.how == route::decode ? libtiffdecodes(t, where) : status{};
}

void describetiffpage(const pagetags& t, const pageplan& p, imagedesc& out) {
    out.bitspercomponent = t.bits;
    out.palette.clear();
    out.decodeinverted = false;
    out.ccitt = {};
    out.predictor = {};
    out.colortransform = -1;
    const bool whiteiszero =
        t.photometric == PHOTOMETRIC_MINISWHITE || (t.photometric == -1 && t.bits == 1);
    switch (p.model) {
    case samplemodel::gray:
        out.colour = colourspace::gray;
        // CCITT data says which bit value is black through BlackIs1.
        out.decodeinverted = whiteiszero && p.how != route::ccitt;
        break;
    case samplemodel::rgb:
        out.colour = colourspace::rgb;
        break;
    case samplemodel::cmyk:
        out.colour = colourspace::cmyk;
        break;
    case samplemodel::palette:
        if (t.bits <= 8) {
            out.colour = colourspace::indexed;
            out.palette = p.palette;
        } else {
            out.colour = colourspace::rgb;
            out.bitspercomponent = 8;
        }
        break;
    case samplemodel::ycbcr:
    case samplemodel::other:
        out.colour = colourspace::rgb;
        out.bitspercomponent = 8;
        break;
    }
    if (p.how == route::rgba) {
        out.colour = colourspace::rgb;
        out.bitspercomponent = 8;
        out.palette.clear();
        out.decodeinverted = false;
    }
    switch (p.how) {
    case route::ccitt:
        out.filter = pdffilter::ccittfax;
        out.ccitt.blackis1 = !whiteiszero;
        if (t.compression == COMPRESSION_CCITTRLE) {
            // Modified Huffman: one-dimensional rows, each from a byte.
            out.ccitt.k = 0;
            out.ccitt.encodedbytealign = true;
        } else if (t.compression == COMPRESSION_CCITTFAX3) {
            out.ccitt.k = (t.t4options & GROUP3OPT_2DENCODING) != 0 ? 4 : 0;
        } else {
            out.ccitt.k = -1;
        }
        break;
    case route::lzw:
    case route::flate:
        out.filter = p.how == route::lzw ? pdffilter::lzw : pdffilter::flate;
        if (t.predictor == PREDICTOR_HORIZONTAL) {
            out.predictor = {2, t.samples, t.bits, clamppixels(t.width)};
        }
        break;
    case route::jpeg:
        out.filter = pdffilter::dct;
        // libtiff writes RGB samples into JPEG data untransformed and without
        // a marker that says so; readers would take them for YCbCr.
        if (p.model == samplemodel::rgb) {
            out.colortransform = 0;
        }
        break;
    case route::uncompressed:
    case route::decode:
    case route::rgba:
        out.filter = pdffilter::none;
        break;
    }
    out.softmask.reset();
    if (p.alpha >= 0) {
        auto mask = std::make_shared<imagedesc>();
        mask->width = out.width;
        mask->height = out.height;
        mask->bitspercomponent = p.how == route::rgba ? 8 : t.bits;
        mask->colour = colourspace::gray;
        out.softmask = std::move(mask);
    }
}

namespace {

uint64_t saturatedproduct(uint64_t a, uint64_t b) {
    uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

// The most bytes of samples that `stored` bytes of data in this compression
// can decode to, for rows of `rowbytes`; none where no bound is known
// (old-style JPEG, whose data may lie anywhere, and the rarer codecs).
std::optional<uint64_t> mostdecoded(const pagetags& t, uint64_t stored, uint64_t rowbytes) {
    switch (t.compression) {
    case COMPRESSION_NONE:
        return stored;
    case COMPRESSION_PACKBITS: // two bytes repeat one 128 times
        return saturatedproduct(stored, 64);
    case COMPRESSION_LZW: // a code of 12 bits stands for at most 4096 bytes
        return saturatedproduct(stored, 2731);
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE: // two bits repeat 258 bytes
        return saturatedproduct(stored, 1032);
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4: // a row takes at least one bit
        return saturatedproduct(saturatedproduct(stored, 8), rowbytes);
    case COMPRESSION_JPEG: // each block of 64 luminance samples takes a bit
        return saturatedproduct(saturatedproduct(stored, 512),
                                std::min<uint64_t>(t.samples, 4) * ((t.bits + 7u) / 8));
    default:
        return std::nullopt;
    }
}

} // namespace

status checktiffdata(const pagetags& t, uint64_t filesize, const std::string& where) {
    uint64_t stored = 0;
    for (size_t i = 0; i < t.offsets.size() && i < t.counts.size(); ++i) {
        if (t.offsets[i] < filesize) {
            stored += std::min(t.counts[i], filesize - t.offsets[i]);
        }
    }
    // YCbCr pages may store fewer colour samples than pixels: only their
    // luminance is counted.
    const uint64_t samples = t.photometric == PHOTOMETRIC_YCBCR ? 1 : t.samples;
    // Every tile decodes whole, also where it reaches past the image.
    const uint64_t tilesamples = t.planar == PLANARCONFIG_SEPARATE ? 1 : samples;
    const uint64_t rowbytes = t.tiled ? (uint64_t{t.tilewidth} * tilesamples * t.bits + 7) / 8
                                      : (uint64_t{t.width} * samples * t.bits + 7) / 8;
    const uint64_t rows = t.tiled ? saturatedproduct(t.tilelength, t.blocks) : t.height;
    // A tile far larger than its page (a megapixel, or four times the page)
    // is a size no data means, whatever its codec.
    const uint64_t pagepixels = uint64_t{t.width} * t.height;
    if (t.tiled &&
        uint64_t{t.tilewidth} * t.tilelength > std::max<uint64_t>(4 * pagepixels, 1 << 20)) {
        return refuse(where, "its tiles of " + std::to_string(t.tilewidth) + " x " +
                                 std::to_string(t.tilelength) + " pixels are far larger than its " +
                                 std::to_string(t.width) + " x " + std::to_string(t.height) +
                                 " pixels");
    }
    // Fax coding holds rows of one-bit pixels; its bound is a row a bit.
    const bool fax =
        t.compression == COMPRESSION_CCITTRLE || t.compression == COMPRESSION_CCITTRLEW ||
        t.compression == COMPRESSION_CCITTFAX3 || t.compression == COMPRESSION_CCITTFAX4;
    if (fax && (t.samples != 1 || t.bits != 1)) {
        return refuse(where, "its fax (CCITT) data cannot hold " + std::to_string(t.samples) +
                                 " samples of " + std::to_string(t.bits) + " bits a pixel");
    }
    const std::optional<uint64_t> most = mostdecoded(t, stored, rowbytes);
    if (most && rowbytes != 0 && *most / rowbytes < rows) {
        return refuse(where, "its " + std::to_string(stored) + " bytes of data cannot hold " +
                                 std::to_string(t.width) + " x " + std::to_string(t.height) +
                                 " pixels (a file cut short, or a size its data never had)");
    }
    // Old-style JPEG and the rarer codecs (LZMA, Zstandard, WebP, JBIG,
    // LERC) can say much in a few bytes: their pages are held to 256 MB of
    // samples, also as the four bytes a pixel of libtiff's RGBA reader.
    constexpr uint64_t kMostUnbounded = uint64_t{1} << 28;
    const uint64_t pixels =
        t.tiled ? saturatedproduct(uint64_t{t.tilewidth} * t.tilelength, t.blocks) : pagepixels;
    if (!most && (saturatedproduct(rowbytes, rows) > kMostUnbounded ||
                  saturatedproduct(pixels, 4) > kMostUnbounded)) {
        return refuse(where, "its " + std::to_string(t.width) + " x " + std::to_string(t.height) +
                                 " pixels in compression " + std::to_string(t.compression) +
                                 " would take more than 256 MB once decoded");
    }
    return {};
}

namespace {

// The page's ICC profile, for a page of device colours; whether it fits them
// is checked with the other kinds' profiles.
status readprofile(bytesource& source, const tifftags::extent& at, imagedesc& out) {
    out.iccprofile.clear();
    if (at.length == 0 || out.colour == colourspace::indexed || out.colour == colourspace::none) {
        return {};
    }
    std::vector<uint8_t> profile(static_cast<size_t>(at.length));
    bytereader reader(source);
    if (!reader.seek(at.offset) || !reader.read(profile.data(), profile.size())) {
        return readfailure(reader);
    }
    out.iccprofile = std::move(profile);
    return {};
}

} // namespace

status readtiffdocpage(bytesource& source, const std::string& name, uint32_t page, imagedata mode,
                       std::vector<uint64_t>& directories, imagedesc& out, bool decodephotos,
                       uint64_t maxbytes) {
    tiffinfo info;
    if (!directories.empty()) {
        info.knowndirectories = &directories;
        info.knownwhole = static_cast<uint32_t>(directories.size());
    }
    info.read(source, page, true);
    switch (info.problem) {
    case tiffproblem::byteorder:
        return {OVINPDF_IMAGE_ERROR, "TIFF file " + name + " has no byte order mark"};
    case tiffproblem::version:
        return {OVINPDF_IMAGE_ERROR, "TIFF file " + name + " has the version number " +
                                         std::to_string(info.version) + ", not 42 or 43"};
    case tiffproblem::readfailed:
    case tiffproblem::valuesfailed:
        return status::failed(info.why);
    default:
        break;
    }
    if (directories.empty()) {
        // The pages are the directories read in full, up to the first that
        // is not.
        directories = std::move(info.directories);
        directories.resize(info.wholepages);
    }
    const auto count = static_cast<uint32_t>(directories.size());
    if (count == 0) {
        return {OVINPDF_IMAGE_ERROR, "TIFF file " + name + " has no image directory"};
    }
    if (page == 0 || page > count || !info.found) {
        return {OVINPDF_IMAGE_ERROR, "TIFF file " + name + " has " +
                                         counted(count, "page", "pages") + ", not " +
                                         std::to_string(page)};
    }
    out.pagesinfile = count;
    const std::string where = "page " + std::to_string(page) + " of file " + name;
    pagetags tags;
    pageplan plan;
    if (status s = tiffpagetags(info, where, tags); !s.ok()) {
        return s;
    }
    tags.directory = directories[page - 1];
    if (status s = plantiffpage(tags, where, plan); !s.ok()) {
        return s;
    }
    // Pictures of 8-bit grey or colour samples kept as stored Deflate or
    // LZW data are decoded when they are to be coded as JPEG.
    if (decodephotos && tags.bits == 8 &&
        (plan.model == samplemodel::gray || plan.model == samplemodel::rgb) &&
        (plan.how == route::lzw || plan.how == route::flate)) {
        plan.how = route::decode;
        if (status s = libtiffdecodes(tags, where); !s.ok()) {
            return s;
        }
    }
    if (status s = checktiffdata(tags, source.size(), where); !s.ok()) {
        return s;
    }
    out.width = clamppixels(tags.width);
    out.height = clamppixels(tags.height);
    // One resolution stands for both.
    out.xdpi = tags.xdpi != 0 ? tags.xdpi : tags.ydpi;
    out.ydpi = tags.ydpi != 0 ? tags.ydpi : tags.xdpi;
    out.upright = tags.orientation >= 1 && tags.orientation <= 8
                      ? static_cast<orientation>(tags.orientation)
                      : orientation::normal;
    out.error.clear();
    out.passthrough = true;
    out.reencode.reset();
    describetiffpage(tags, plan, out);
    if (status s = readprofile(source, tags.iccprofile, out); !s.ok()) {
        return s;
    }
    out.data.clear();
    if (mode == imagedata::skip) {
        return {};
    }
    if (status s = readtiffdata(source, where, tags, plan, maxbytes, out); !s.ok()) {
        return s;
    }
    // LZW is a weaker coder than Deflate: the page is decoded as well, and
    // the compression stage keeps whichever is clearly smaller.
    if (plan.how == route::lzw) {
        auto stored = std::make_shared<imagedesc>(std::move(out));
        out.reset();
        out.width = stored->width;
        out.height = stored->height;
        out.xdpi = stored->xdpi;
        out.ydpi = stored->ydpi;
        out.pagesinfile = stored->pagesinfile;
        out.upright = stored->upright;
        out.iccprofile = stored->iccprofile;
        plan.how = route::decode;
        if (status s = libtiffdecodes(tags, where); !s.ok()) {
            out = std::move(*stored);
            return {};
        }
        describetiffpage(tags, plan, out);
        if (status s = readtiffdata(source, where, tags, plan, maxbytes, out); !s.ok()) {
            return s;
        }
        out.asstored = std::move(stored);
    }
    return {};
}

} // namespace ovin
