#include "readers/tiff/tiffpage.h"

#include "numbers.h"
#include "readers/jpeg.h"
#include "readers/tiff/tiffdecode.h"
#include "readers/tiff/tiffstream.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <span>

namespace ovin {

namespace {

enum class samplemodel : uint8_t { gray, rgb, cmyk, palette, ycbcr, other };

// How the page's data reaches the PDF.
enum class route : uint8_t {
    ccitt,        // one block of CCITT data, as stored
    lzw,          // one block of LZW data, as stored
    flate,        // one block of Deflate data, as stored
    packbits,     // PackBits strips, as stored (RunLengthDecode)
    uncompressed, // uncompressed strips, to the compression stage
    jpeg,         // one block of JPEG data with the page's tables
    decode,       // decoded by libtiff, to the compression stage
    rgba,         // decoded by libtiff's RGBA reader, to the compression stage
};

struct pagetags {
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1, sampleformat = SAMPLEFORMAT_UINT;
    int32_t photometric = -1; // -1: the page has none
    uint16_t compression = COMPRESSION_NONE;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t fillorder = FILLORDER_MSB2LSB;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t predictor = PREDICTOR_NONE;
    uint16_t inkset = INKSET_CMYK;
    uint32_t t4options = 0, t6options = 0;
    std::span<const uint16_t> extras; // ExtraSamples: what each extra sample is
    bool tiled = false;
    uint32_t tilewidth = 0, tilelength = 0;
    uint32_t blocks = 0; // strips or tiles
    std::span<const uint8_t> jpegtables;
    std::span<const uint8_t> icc;
    const uint16_t* red = nullptr;
    const uint16_t* green = nullptr;
    const uint16_t* blue = nullptr;
    float xres = 0, yres = 0;
    uint16_t resunit = RESUNIT_INCH;
    bool bigendian = false;
};

pagetags readtags(TIFF* tif) {
    pagetags t;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &t.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &t.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &t.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &t.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &t.sampleformat);
    if (uint16_t photometric = 0; TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 0) {
        t.photometric = photometric;
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &t.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &t.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &t.fillorder);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &t.orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &t.inkset);
    // Codec tags exist only under their codecs.
    switch (t.compression) {
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &t.predictor);
        break;
    case COMPRESSION_CCITTFAX3:
        TIFFGetFieldDefaulted(tif, TIFFTAG_GROUP3OPTIONS, &t.t4options);
        break;
    case COMPRESSION_CCITTFAX4:
        TIFFGetFieldDefaulted(tif, TIFFTAG_GROUP4OPTIONS, &t.t6options);
        break;
    case COMPRESSION_JPEG: {
        uint32_t count = 0;
        const void* tables = nullptr;
        if (TIFFGetField(tif, TIFFTAG_JPEGTABLES, &count, &tables) != 0 && tables != nullptr) {
            t.jpegtables = {static_cast<const uint8_t*>(tables), count};
        }
        break;
    }
    default:
        break;
    }
    uint16_t extracount = 0;
    const uint16_t* extratypes = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extracount, &extratypes) != 0 &&
        extratypes != nullptr) {
        t.extras = {extratypes, extracount};
    }
    t.tiled = TIFFIsTiled(tif) != 0;
    if (t.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &t.tilewidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &t.tilelength);
        t.blocks = TIFFNumberOfTiles(tif);
    } else {
        t.blocks = TIFFNumberOfStrips(tif);
    }
    uint32_t count = 0;
    const void* profile = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &count, &profile) != 0 && profile != nullptr) {
        t.icc = {static_cast<const uint8_t*>(profile), count};
    }
    TIFFGetField(tif, TIFFTAG_COLORMAP, &t.red, &t.green, &t.blue);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &t.xres);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &t.yres);
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &t.resunit);
    t.bigendian = TIFFIsBigEndian(tif) != 0;
    return t;
}

// Dots per inch of a TIFF resolution: 0 when missing, unusable or without
// an absolute unit.
uint16_t todpi(float value, uint16_t unit) {
    if (!std::isfinite(value) || value <= 0 || unit == RESUNIT_NONE) {
        return 0;
    }
    const long double dpi =
        unit == RESUNIT_CENTIMETER ? static_cast<long double>(value) * 2.54L : value;
    return static_cast<uint16_t>(std::clamp<int64_t>(roundeven(dpi), 0, 0xFFFF));
}

// The palette as PDF wants it: 8 bits per value. The colour map holds
// 16-bit values; a map whose values all stay below 256 was written with
// 8-bit values, as libtiff itself assumes.
std::vector<uint8_t> readpalette(const pagetags& t) {
    const size_t entries = size_t{1} << t.bits;
    bool eightbit = true;
    for (const uint16_t* map : {t.red, t.green, t.blue}) {
        eightbit = eightbit && std::all_of(map, map + entries, [](uint16_t v) { return v < 256; });
    }
    std::vector<uint8_t> palette;
    palette.reserve(3 * entries);
    for (size_t k = 0; k < entries; ++k) {
        for (const uint16_t* map : {t.red, t.green, t.blue}) {
            palette.push_back(static_cast<uint8_t>(eightbit ? map[k] : map[k] >> 8));
        }
    }
    return palette;
}

// What the page's samples are, and how they reach the PDF.
struct plan {
    samplemodel model = samplemodel::gray;
    uint16_t channels = 1; // colour samples per pixel, at the start of each pixel
    int alpha = -1;        // the sample that is alpha, -1 for none
    bool premultiplied = false;
    route how = route::decode;
};

// An ICC data colour space signature at bytes 16 to 19 of the profile.
bool profilefits(std::span<const uint8_t> icc, colourspace colour) {
    if (icc.size() < 132) {
        return false;
    }
    const std::string space(icc.begin() + 16, icc.begin() + 20);
    switch (colour) {
    case colourspace::gray:
        return space == "GRAY";
    case colourspace::rgb:
        return space == "RGB ";
    case colourspace::cmyk:
        return space == "CMYK";
    default:
        return false;
    }
}

class pagereader {
public:
    pagereader(tiffstream& stream, const bytesource& source, const std::string& name, uint32_t page,
               uint64_t maxbytes, imagedesc& out)
        : stream_(stream), tif_(stream.handle()), filesize_(source.size()), file_(source.file()),
          name_(name), page_(page), maxbytes_(maxbytes), out_(out) {}

    status read(imagedata mode);

private:
    std::string where() const { return "page " + std::to_string(page_) + " of file " + name_; }
    status refuse(const std::string& what) const {
        return {OVINPDF_IMAGE_ERROR, "TIFF " + where() + ": " + what};
    }
    // A failure of libtiff or of the source: an I/O error when reading the
    // source failed, else an image error with libtiff's message.
    status failure(const std::string& what) const {
        if (stream_.ioerror()) {
            return status::failed(stream_.ioerror());
        }
        return refuse(what);
    }
    // libtiff's reason, for the end of a message.
    std::string libtiffsays() const {
        return stream_.error().empty() ? std::string() : " (" + stream_.error() + ")";
    }

    status choose();
    void describe();
    bool blockfits(uint32_t block, uint64_t& offset, uint64_t& count);
    bool readblock(uint32_t block, std::vector<uint8_t>& out);
    bool storeblock(uint32_t block);
    status readpassed(bool& usable);
    bool readjpeg(std::vector<uint8_t>& merged, jpeginfo& header);
    status decode();

    tiffstream& stream_;
    TIFF* tif_;
    uint64_t filesize_;
    std::shared_ptr<const filedescriptor> file_; // null for a source in memory
    const std::string& name_;
    uint32_t page_;
    uint64_t maxbytes_;
    imagedesc& out_;
    pagetags tags_;
    plan plan_;
    std::vector<uint8_t> palette_;
    uint64_t rawbytes_ = 0; // raw data read so far
    bool adobe_ = false;    // the JPEG data has an Adobe segment
};

std::string sizemessage(uint64_t rowbytes, uint64_t rows, uint64_t maxbytes) {
    const uint64_t bytes = rowbytes > UINT64_MAX / rows ? UINT64_MAX : rowbytes * rows;
    return "its samples would take " + std::to_string(bytes) + " bytes, more than the " +
           std::to_string(maxbytes) + " allowed";
}

status pagereader::choose() {
    const pagetags& t = tags_;
    if (t.width == 0 || t.height == 0) {
        return refuse("the image has no width or height");
    }
    if (t.width > INT32_MAX || t.height > INT32_MAX) {
        return refuse("an image of " + std::to_string(t.width) + " x " + std::to_string(t.height) +
                      " pixels is too large");
    }
    if (t.sampleformat == SAMPLEFORMAT_IEEEFP) {
        return refuse("floating-point samples are not supported");
    }
    if (t.sampleformat != SAMPLEFORMAT_UINT) {
        return refuse("samples of format " + std::to_string(t.sampleformat) +
                      " are not supported (only unsigned integers are)");
    }
    if (t.bits != 1 && t.bits != 2 && t.bits != 4 && t.bits != 8 && t.bits != 16) {
        return refuse("unsupported bits per sample value " + std::to_string(t.bits));
    }
    // libtiff shows blocks without data as blank; a page with nothing but
    // such blocks shows nothing of the file.
    bool data = false;
    for (uint32_t block = 0; block < t.blocks && !data; ++block) {
        data = TIFFGetStrileByteCount(tif_, block) != 0;
    }
    if (!data) {
        return refuse("its " + std::string(t.tiled ? "tiles" : "strips") + " hold no data");
    }
    if (t.compression != COMPRESSION_NONE && TIFFIsCODECConfigured(t.compression) == 0) {
        return refuse("unsupported compression type " + std::to_string(t.compression));
    }
    if (t.extras.size() >= t.samples) {
        return refuse("no colour samples besides its " + std::to_string(t.extras.size()) +
                      " extra samples");
    }
    const uint16_t colours = static_cast<uint16_t>(t.samples - t.extras.size());
    plan& p = plan_;
    const bool ojpeg = t.compression == COMPRESSION_OJPEG;
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
        if (t.red == nullptr || t.green == nullptr || t.blue == nullptr) {
            return refuse("a palette image without a colour map");
        }
        p.model = samplemodel::palette;
        p.channels = 1;
        break;
    case PHOTOMETRIC_SEPARATED:
        if (t.inkset != INKSET_CMYK) {
            return refuse("separated samples of inks other than CMYK are not supported");
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
        return refuse(std::to_string(colours) + " colour samples for photometric interpretation " +
                      std::to_string(t.photometric));
    }
    for (size_t k = 0; k < t.extras.size(); ++k) {
        if (t.extras[k] == EXTRASAMPLE_ASSOCALPHA || t.extras[k] == EXTRASAMPLE_UNASSALPHA) {
            p.alpha = colours + static_cast<int>(k);
            p.premultiplied = t.extras[k] == EXTRASAMPLE_ASSOCALPHA;
            break;
        }
    }
    if (p.model == samplemodel::palette) {
        palette_ = readpalette(t);
    }

    // The libtiff decoders of last resort: YCbCr that is not JPEG data
    // (subsampled), old-style JPEG, CIE L*a*b* and other encodings.
    if (ojpeg || p.model == samplemodel::other ||
        (p.model == samplemodel::ycbcr && t.compression != COMPRESSION_JPEG)) {
        p.how = route::rgba;
        return {};
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
    case COMPRESSION_PACKBITS:
        if (plain && !t.tiled && readerorder) {
            p.how = route::packbits;
        }
        break;
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
    return {};
}

// The image dictionary's description of the page as planned.
void pagereader::describe() {
    const pagetags& t = tags_;
    const plan& p = plan_;
    out_.bitspercomponent = t.bits;
    out_.palette.clear();
    out_.decodeinverted = false;
    out_.ccitt = {};
    out_.predictor = {};
    out_.colortransform = -1;
    const bool whiteiszero =
        t.photometric == PHOTOMETRIC_MINISWHITE || (t.photometric == -1 && t.bits == 1);
    switch (p.model) {
    case samplemodel::gray:
        out_.colour = colourspace::gray;
        // CCITT data says which bit value is black through BlackIs1.
        out_.decodeinverted = whiteiszero && p.how != route::ccitt;
        break;
    case samplemodel::rgb:
        out_.colour = colourspace::rgb;
        break;
    case samplemodel::cmyk:
        out_.colour = colourspace::cmyk;
        break;
    case samplemodel::palette:
        if (t.bits <= 8) {
            out_.colour = colourspace::indexed;
            out_.palette = palette_;
        } else {
            out_.colour = colourspace::rgb;
            out_.bitspercomponent = 8;
        }
        break;
    case samplemodel::ycbcr:
    case samplemodel::other:
        out_.colour = colourspace::rgb;
        out_.bitspercomponent = 8;
        break;
    }
    if (p.how == route::rgba) {
        out_.colour = colourspace::rgb;
        out_.bitspercomponent = 8;
        out_.palette.clear();
        out_.decodeinverted = false;
    }
    switch (p.how) {
    case route::ccitt:
        out_.filter = pdffilter::ccittfax;
        out_.ccitt.blackis1 = !whiteiszero;
        if (t.compression == COMPRESSION_CCITTRLE) {
            // Modified Huffman: one-dimensional rows, each from a byte.
            out_.ccitt.k = 0;
            out_.ccitt.encodedbytealign = true;
        } else if (t.compression == COMPRESSION_CCITTFAX3) {
            out_.ccitt.k = (t.t4options & GROUP3OPT_2DENCODING) != 0 ? 4 : 0;
        } else {
            out_.ccitt.k = -1;
        }
        break;
    case route::lzw:
    case route::flate:
        out_.filter = p.how == route::lzw ? pdffilter::lzw : pdffilter::flate;
        if (t.predictor == PREDICTOR_HORIZONTAL) {
            out_.predictor = {2, t.samples, t.bits, clamppixels(t.width)};
        }
        break;
    case route::packbits:
        out_.filter = pdffilter::runlength;
        break;
    case route::jpeg:
        out_.filter = pdffilter::dct;
        // libtiff writes RGB samples into JPEG data untransformed and without
        // a marker that says so; readers would take them for YCbCr.
        if (p.model == samplemodel::rgb) {
            out_.colortransform = 0;
        }
        break;
    case route::uncompressed:
    case route::decode:
    case route::rgba:
        out_.filter = pdffilter::none;
        break;
    }
    out_.iccprofile.clear();
    if (profilefits(t.icc, out_.colour)) {
        out_.iccprofile.assign(t.icc.begin(), t.icc.end());
    }
    out_.softmask.reset();
    if (p.alpha >= 0) {
        auto mask = std::make_shared<imagedesc>();
        mask->width = out_.width;
        mask->height = out_.height;
        mask->bitspercomponent = p.how == route::rgba ? 8 : t.bits;
        mask->colour = colourspace::gray;
        out_.softmask = std::move(mask);
    }
}

// Where a strip or tile is, counted against what the page may take: never
// more than the file holds, nor than a page may take.
bool pagereader::blockfits(uint32_t block, uint64_t& offset, uint64_t& count) {
    offset = TIFFGetStrileOffset(tif_, block);
    count = TIFFGetStrileByteCount(tif_, block);
    if (count == 0 || offset > filesize_ || count > filesize_ - offset ||
        count > maxbytes_ - std::min(rawbytes_, maxbytes_)) {
        return false;
    }
    rawbytes_ += count;
    return true;
}

// The page's one block left in the file, to be copied as it is when the
// page is written: for a file (not a source in memory) whose bits need no
// reversing.
bool pagereader::storeblock(uint32_t block) {
    uint64_t offset = 0;
    uint64_t count = 0;
    if (!file_ || tags_.fillorder == FILLORDER_LSB2MSB || !blockfits(block, offset, count)) {
        return false;
    }
    out_.stored = {file_, offset, count};
    return true;
}

// The bytes of one strip or tile as stored, appended to `out`, each byte's
// bits reversed for FillOrder 2 (as libtiff does before decoding, except
// for JPEG data).
bool pagereader::readblock(uint32_t block, std::vector<uint8_t>& out) {
    uint64_t offset = 0;
    uint64_t count = 0;
    if (!blockfits(block, offset, count)) {
        return false;
    }
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(count));
    const tmsize_t got =
        tags_.tiled ? TIFFReadRawTile(tif_, block, out.data() + at, static_cast<tmsize_t>(count))
                    : TIFFReadRawStrip(tif_, block, out.data() + at, static_cast<tmsize_t>(count));
    if (got < 0 || static_cast<uint64_t>(got) != count) {
        return false;
    }
    if (tags_.fillorder == FILLORDER_LSB2MSB && tags_.compression != COMPRESSION_JPEG) {
        TIFFReverseBits(out.data() + at, static_cast<tmsize_t>(count));
    }
    return true;
}

// A JPEG-in-TIFF block made a whole JPEG stream: the segments of the page's
// JPEGTables (between its start and end markers) go after the block's own
// start marker. Empty when either is not JPEG data.
std::vector<uint8_t> mergetables(std::span<const uint8_t> tables, std::vector<uint8_t> block) {
    if (block.size() < 4 || block[0] != 0xFF || block[1] != 0xD8) {
        return {};
    }
    if (tables.empty()) {
        return block;
    }
    if (tables.size() < 4 || tables[0] != 0xFF || tables[1] != 0xD8) {
        return {};
    }
    size_t end = 2;
    while (end + 1 < tables.size()) {
        if (tables[end] != 0xFF) {
            return {};
        }
        const uint8_t code = tables[end + 1];
        if (code == 0xFF) {
            ++end; // fill byte
            continue;
        }
        if (code == 0xD9) {
            break;
        }
        if (end + 4 > tables.size()) {
            return {};
        }
        const size_t length = size_t{tables[end + 2]} << 8 | tables[end + 3];
        if (length < 2 || end + 2 + length > tables.size()) {
            return {};
        }
        end += 2 + length;
    }
    std::vector<uint8_t> merged;
    merged.reserve(block.size() + end);
    merged.insert(merged.end(), block.begin(), block.begin() + 2);
    merged.insert(merged.end(), tables.begin() + 2, tables.begin() + static_cast<ptrdiff_t>(end));
    merged.insert(merged.end(), block.begin() + 2, block.end());
    return merged;
}

// The page's first block as a whole JPEG stream, and its header: true when
// PDF readers decode it as the page (its size and component count).
bool pagereader::readjpeg(std::vector<uint8_t>& merged, jpeginfo& header) {
    std::vector<uint8_t> block;
    if (!readblock(0, block)) {
        return false;
    }
    merged = mergetables(tags_.jpegtables, std::move(block));
    memorysource source(merged);
    const bool read = !merged.empty() && header.read(source, name_);
    adobe_ = read && header.adobe;
    return read && header.width == tags_.width && header.height == tags_.height &&
           header.components == tags_.samples;
}

// PackBits strips that, each decoded alone, give exactly their rows: the
// strips one after the other are then one RunLengthDecode stream. A
// header byte of 128, which PackBits skips, ends a RunLengthDecode stream.
// Returns how many bytes of the strip its rows take, 0 when it cannot pass.
size_t runlengthbytes(std::span<const uint8_t> strip, uint64_t rowbytes) {
    size_t at = 0;
    uint64_t produced = 0;
    while (produced < rowbytes && at < strip.size()) {
        const uint8_t header = strip[at++];
        if (header < 128) {
            const size_t literal = size_t{header} + 1;
            if (literal > strip.size() - at) {
                return 0;
            }
            at += literal;
            produced += literal;
        } else if (header > 128) {
            if (at == strip.size()) {
                return 0;
            }
            ++at;
            produced += 257U - header;
        } else {
            return 0;
        }
    }
    return produced == rowbytes ? at : 0;
}

// Reads the data of a page that passes as stored; `usable` turns false when
// the data itself rules that out (the page is then decoded).
status pagereader::readpassed(bool& usable) {
    const pagetags& t = tags_;
    usable = true;
    std::vector<uint8_t>& data = out_.data;
    data.clear();
    const uint64_t rowbytes = (uint64_t{t.width} * t.samples * t.bits + 7) / 8;
    uint32_t rowsperstrip = t.height;
    if (!t.tiled) {
        TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rowsperstrip);
        rowsperstrip = std::clamp<uint32_t>(rowsperstrip, 1, t.height);
    }
    switch (plan_.how) {
    case route::ccitt:
    case route::lzw:
    case route::flate: {
        const bool stored = storeblock(0);
        if (!stored && !readblock(0, data)) {
            return failure("its data cannot be read" + libtiffsays());
        }
        // Old-style LZW codes (least significant bit first) are not PDF's:
        // the first two bytes tell.
        std::array<uint8_t, 2> start{};
        if (plan_.how == route::lzw && out_.streamlength() >= 2) {
            if (!stored) {
                std::copy_n(data.begin(), 2, start.begin());
            } else if (const int64_t got =
                           readat(file_->get(), start.data(), 2, out_.stored.offset);
                       got != 2) {
                return status::failed(got < 0 ? fault::system(errno) : fault::truncated());
            }
            if (start[0] == 0 && (start[1] & 1) != 0) {
                out_.stored = {};
                usable = false;
            }
        }
        return {};
    }
    case route::jpeg: {
        jpeginfo header;
        usable = readjpeg(data, header);
        if (!usable && stream_.ioerror()) {
            return failure("");
        }
        return {};
    }
    case route::packbits:
    case route::uncompressed: {
        if (rowbytes > maxbytes_ / t.height) {
            return refuse(sizemessage(rowbytes, t.height, maxbytes_));
        }
        const uint32_t strips = (t.height - 1) / rowsperstrip + 1;
        if (strips > t.blocks) {
            return refuse("it has fewer strips than rows");
        }
        // Uncompressed strips are read straight into the page, which holds
        // all their rows; PackBits strips are read one at a time and their
        // codes checked.
        const bool packed = plan_.how == route::packbits;
        if (!packed) {
            data.reserve(static_cast<size_t>(rowbytes * t.height));
        }
        std::vector<uint8_t> strip;
        for (uint32_t s = 0; s < strips; ++s) {
            const uint64_t want = rowbytes * std::min(rowsperstrip, t.height - s * rowsperstrip);
            const size_t at = data.size();
            strip.clear();
            if (!readblock(s, packed ? strip : data)) {
                return failure("strip " + std::to_string(s) + " cannot be read" + libtiffsays());
            }
            if (packed) {
                const size_t take = runlengthbytes(strip, want);
                if (take == 0) {
                    usable = false;
                    data.clear();
                    return {};
                }
                data.insert(data.end(), strip.begin(),
                            strip.begin() + static_cast<ptrdiff_t>(take));
            } else if (data.size() - at < want) {
                return refuse("strip " + std::to_string(s) + " holds " +
                              std::to_string(data.size() - at) + " bytes, its rows " +
                              std::to_string(want));
            } else {
                data.resize(at + static_cast<size_t>(want));
            }
        }
        if (plan_.how == route::uncompressed && t.bits == 16 && !t.bigendian) {
            for (size_t k = 0; k + 1 < data.size(); k += 2) {
                std::swap(data[k], data[k + 1]);
            }
        }
        return {};
    }
    default:
        return {};
    }
}

status pagereader::decode() {
    const pagetags& t = tags_;
    const plan& p = plan_;
    decodedpage page;
    std::string failed;
    if (p.how == route::rgba) {
        failed = decodergba(stream_, maxbytes_, page);
    } else {
        if (t.compression == COMPRESSION_JPEG && p.model == samplemodel::ycbcr) {
            // libjpeg turns the samples into RGB.
            TIFFSetField(tif_, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
        failed = decodesamples(stream_, maxbytes_, page);
    }
    if (!failed.empty()) {
        if (t.compression == COMPRESSION_OJPEG) {
            return failure("its old-style JPEG data cannot be decoded: " + failed);
        }
        return failure("it cannot be decoded: " + failed);
    }
    const bool rgba = p.how == route::rgba;
    std::vector<uint8_t> alpha;
    if (p.alpha >= 0) {
        alpha = picksamples(page, static_cast<uint16_t>(rgba ? 3 : p.alpha), 1);
    }
    const uint16_t channels = rgba ? 3 : p.channels;
    std::vector<uint8_t> colour;
    const bool indices = p.model == samplemodel::palette && !rgba;
    if (indices && t.bits > 8) {
        colour = expandpalette(page, palette_);
    } else {
        colour = picksamples(page, 0, channels);
    }
    page.bytes = {};
    // libtiff's RGBA reader multiplies colours by their alpha.
    if (!alpha.empty() && (rgba || p.premultiplied) && !indices) {
        unpremultiply(colour, alpha, t.width, t.height, channels, out_.bitspercomponent);
    }
    out_.data = std::move(colour);
    if (!alpha.empty()) {
        auto mask = std::make_shared<imagedesc>(*out_.softmask);
        mask->data = std::move(alpha);
        out_.softmask = std::move(mask);
    }
    return {};
}

status pagereader::read(imagedata mode) {
    tags_ = readtags(tif_);
    if (status chosen = choose(); !chosen.ok()) {
        return chosen;
    }
    out_.width = clamppixels(tags_.width);
    out_.height = clamppixels(tags_.height);
    out_.xdpi = todpi(tags_.xres, tags_.resunit);
    out_.ydpi = todpi(tags_.yres, tags_.resunit);
    // One resolution stands for both.
    out_.xdpi = out_.xdpi != 0 ? out_.xdpi : out_.ydpi;
    out_.ydpi = out_.ydpi != 0 ? out_.ydpi : out_.xdpi;
    out_.upright = tags_.orientation >= 1 && tags_.orientation <= 8
                       ? static_cast<orientation>(tags_.orientation)
                       : orientation::normal;
    out_.error.clear();
    out_.passthrough = true;
    out_.reencode.reset();
    describe();
    out_.data.clear();
    if (mode == imagedata::skip) {
        return {};
    }

    const bool jpegcmyk = tags_.compression == COMPRESSION_JPEG && plan_.model == samplemodel::cmyk;
    if (jpegcmyk && plan_.how != route::jpeg) {
        std::vector<uint8_t> merged;
        jpeginfo header;
        readjpeg(merged, header);
    }
    bool usable = plan_.how == route::decode || plan_.how == route::rgba;
    if (!usable) {
        if (status passed = readpassed(usable); !passed.ok()) {
            return passed;
        }
    }
    if (!usable) {
        plan_.how = route::decode;
        describe();
    }
    if (plan_.how == route::decode || plan_.how == route::rgba) {
        if (status decoded = decode(); !decoded.ok()) {
            return decoded;
        }
    }
    // CMYK JPEG data with an Adobe segment holds its samples inverted, as
    // Adobe software writes them.
    out_.decodeinverted = out_.decodeinverted || (jpegcmyk && adobe_);
    return {};
}

} // namespace

status readtiffdocpage(bytesource& source, const std::string& name, uint32_t page, imagedata mode,
                       std::vector<uint64_t>& directories, imagedesc& out, uint64_t maxbytes) {
    if (directories.empty()) {
        if (status found = tiffdirectories(source, name, directories); !found.ok()) {
            return found;
        }
    }
    const auto count = static_cast<uint32_t>(directories.size());
    if (page == 0 || page > count) {
        return {OVINPDF_IMAGE_ERROR, "TIFF file " + name + " has " + std::to_string(count) +
                                         " pages, not " + std::to_string(page)};
    }
    out.pagesinfile = count;
    tiffstream stream(source, maxbytes);
    if (!stream.setdirectory(directories[page - 1])) {
        if (stream.ioerror()) {
            return status::failed(stream.ioerror());
        }
        return {OVINPDF_IMAGE_ERROR,
                "TIFF page " + std::to_string(page) + " of file " + name + " cannot be read: " +
                    (stream.error().empty() ? "damaged directory" : stream.error())};
    }
    return pagereader(stream, source, name, page, maxbytes, out).read(mode);
}

} // namespace ovin
