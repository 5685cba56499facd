// The data of a TIFF page as planned: one stored block left in the file or
// read from it, PackBits and uncompressed strips read into the page, JPEG
// data made whole with its tables, and every other page decoded by libtiff.
#include "readers/jpeg.h"
#include "readers/tiff/tiffdecode.h"
#include "readers/tiff/tiffplan.h"
#include "readers/tiff/tiffstream.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <span>

namespace ovin {

namespace {

std::string sizemessage(uint64_t rowbytes, uint64_t rows, uint64_t maxbytes) {
    const uint64_t bytes = rowbytes > UINT64_MAX / rows ? UINT64_MAX : rowbytes * rows;
    return "its samples would take " + std::to_string(bytes) + " bytes, more than the " +
           std::to_string(maxbytes) + " allowed";
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

class datareader {
public:
    datareader(bytesource& source, const std::string& where, const pagetags& tags, pageplan& plan,
               uint64_t maxbytes, imagedesc& out)
        : source_(source), reader_(source), where_(where), t_(tags), plan_(plan),
          maxbytes_(maxbytes), out_(out) {}

    status read();

private:
    status refuse(const std::string& what) const {
        return {OVINPDF_IMAGE_ERROR, "TIFF " + where_ + ": " + what};
    }
    bool blockfits(uint32_t block, uint64_t& offset, uint64_t& count);
    bool readblock(uint32_t block, std::vector<uint8_t>& out);
    status blockfailure(const std::string& what) const;
    bool storeblock(uint32_t block);
    status readpassed(bool& usable);
    status readjpeg(std::vector<uint8_t>& merged, bool& usable);
    status decode();

    bytesource& source_;
    bytereader reader_;
    const std::string& where_;
    const pagetags& t_;
    pageplan& plan_;
    uint64_t maxbytes_;
    imagedesc& out_;
    uint64_t rawbytes_ = 0; // raw data read so far
    bool adobe_ = false;    // the JPEG data has an Adobe segment
};

// Where a strip or tile is, counted against what the page may take: never
// more than the file holds, nor than a page may take.
bool datareader::blockfits(uint32_t block, uint64_t& offset, uint64_t& count) {
    const uint64_t size = source_.size();
    offset = t_.offsets[block];
    count = t_.counts[block];
    if (count == 0 || offset > size || count > size - offset ||
        count > maxbytes_ - std::min(rawbytes_, maxbytes_)) {
        return false;
    }
    rawbytes_ += count;
    return true;
}

// Why a block could not be read: the read's own failure, else a block that
// lies outside the file (or past what a page may take).
status datareader::blockfailure(const std::string& what) const {
    if (reader_.why().kind == faultkind::system) {
        return readfailure(reader_);
    }
    return refuse(what + " lies outside the file");
}

// The page's one block left in the file, to be copied as it is when the
// page is written: for a file (not a source in memory) whose bits need no
// reversing.
bool datareader::storeblock(uint32_t block) {
    uint64_t offset = 0;
    uint64_t count = 0;
    auto file = source_.file();
    if (!file || t_.fillorder == FILLORDER_LSB2MSB || !blockfits(block, offset, count)) {
        return false;
    }
    out_.stored = {std::move(file), offset, count};
    return true;
}

// The bytes of one strip or tile as stored, appended to `out`, each byte's
// bits reversed for FillOrder 2 (as libtiff does before decoding, except
// for JPEG data).
bool datareader::readblock(uint32_t block, std::vector<uint8_t>& out) {
    uint64_t offset = 0;
    uint64_t count = 0;
    if (!blockfits(block, offset, count)) {
        return false;
    }
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(count));
    if (!reader_.seek(offset) || !reader_.read(out.data() + at, static_cast<size_t>(count))) {
        return false;
    }
    if (t_.fillorder == FILLORDER_LSB2MSB && t_.compression != COMPRESSION_JPEG) {
        reversebits(std::span(out).subspan(at));
    }
    return true;
}

// The page's first block as a whole JPEG stream: `usable` when PDF readers
// decode it as the page (its size and component count).
status datareader::readjpeg(std::vector<uint8_t>& merged, bool& usable) {
    usable = false;
    std::vector<uint8_t> block;
    if (!readblock(0, block)) {
        return blockfailure("its JPEG data");
    }
    std::vector<uint8_t> tables(static_cast<size_t>(t_.jpegtables.length));
    if (!tables.empty() &&
        (!reader_.seek(t_.jpegtables.offset) || !reader_.read(tables.data(), tables.size()))) {
        return readfailure(reader_);
    }
    merged = mergetables(tables, std::move(block));
    memorysource whole(merged);
    jpeginfo header;
    const bool read = !merged.empty() && header.read(whole, where_);
    adobe_ = read && header.adobe;
    usable = read && header.width == t_.width && header.height == t_.height &&
             header.components == t_.samples;
    return {};
}

// Reads the data of a page that passes as stored; `usable` turns false when
// the data itself rules that out (the page is then decoded).
status datareader::readpassed(bool& usable) {
    usable = true;
    std::vector<uint8_t>& data = out_.data;
    data.clear();
    const uint64_t rowbytes = (uint64_t{t_.width} * t_.samples * t_.bits + 7) / 8;
    switch (plan_.how) {
    case route::ccitt:
    case route::lzw:
    case route::flate: {
        const bool stored = storeblock(0);
        if (!stored && !readblock(0, data)) {
            return blockfailure("its data");
        }
        // Old-style LZW codes (least significant bit first) are not PDF's:
        // the first two bytes tell.
        std::array<uint8_t, 2> start{};
        if (plan_.how == route::lzw && out_.streamlength() >= 2) {
            if (!stored) {
                std::copy_n(data.begin(), 2, start.begin());
            } else if (!reader_.seek(out_.stored.offset) || !reader_.read(start.data(), 2)) {
                return readfailure(reader_);
            }
            if (start[0] == 0 && (start[1] & 1) != 0) {
                out_.stored = {};
                usable = false;
            }
        }
        return {};
    }
    case route::jpeg:
        return readjpeg(data, usable);
    case route::uncompressed: {
        if (rowbytes > maxbytes_ / t_.height) {
            return refuse(sizemessage(rowbytes, t_.height, maxbytes_));
        }
        const uint32_t rows = t_.rowsperstrip;
        const uint32_t strips = (t_.height - 1) / rows + 1;
        // Uncompressed strips are read straight into the page, which holds
        // all their rows.
        data.reserve(static_cast<size_t>(rowbytes * t_.height));
        for (uint32_t s = 0; s < strips; ++s) {
            const uint64_t want = rowbytes * std::min(rows, t_.height - s * rows);
            const size_t at = data.size();
            if (!readblock(s, data)) {
                return blockfailure("strip " + std::to_string(s));
            }
            if (data.size() - at < want) {
                return refuse("strip " + std::to_string(s) + " holds " +
                              std::to_string(data.size() - at) + " bytes, its rows " +
                              std::to_string(want));
            } else {
                data.resize(at + static_cast<size_t>(want));
            }
        }
        if (plan_.how == route::uncompressed && t_.bits == 16 && !t_.bigendian) {
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

// Decodes the page with libtiff, which reads its directory for itself.
status datareader::decode() {
    const pageplan& p = plan_;
    tiffstream stream(source_, maxbytes_);
    const auto failure = [&](const std::string& what) -> status {
        if (stream.ioerror()) {
            return status::failed(stream.ioerror());
        }
        return refuse(what + (stream.error().empty() ? "" : ": " + stream.error()));
    };
    if (!stream.setdirectory(t_.directory)) {
        return failure("it cannot be read");
    }
    TIFF* tif = stream.handle();
    uint32_t width = 0;
    uint32_t height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (width != t_.width || height != t_.height) {
        return refuse("its tags cannot be read alike twice");
    }
    decodedpage page;
    std::string failed;
    if (p.how == route::rgba) {
        failed = decodergba(stream, maxbytes_, page);
    } else {
        if (t_.compression == COMPRESSION_JPEG && p.model == samplemodel::ycbcr) {
            // libjpeg turns the samples into RGB.
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
        failed = decodesamples(stream, maxbytes_, page);
    }
    if (!failed.empty()) {
        if (stream.ioerror()) {
            return status::failed(stream.ioerror());
        }
        if (t_.compression == COMPRESSION_OJPEG) {
            return refuse("its old-style JPEG data cannot be decoded: " + failed);
        }
        return refuse("it cannot be decoded: " + failed);
    }
    const bool rgba = p.how == route::rgba;
    std::vector<uint8_t> alpha;
    if (p.alpha >= 0) {
        alpha = picksamples(page, static_cast<uint16_t>(rgba ? 3 : p.alpha), 1);
    }
    const uint16_t channels = rgba ? 3 : p.channels;
    std::vector<uint8_t> colour;
    const bool indices = p.model == samplemodel::palette && !rgba;
    if (indices && t_.bits > 8) {
        colour = expandpalette(page, p.palette);
    } else {
        colour = picksamples(page, 0, channels);
    }
    page.bytes = {};
    // libtiff's RGBA reader multiplies colours by their alpha.
    if (!alpha.empty() && (rgba || p.premultiplied) && !indices) {
        unpremultiply(colour, alpha, t_.width, t_.height, channels, out_.bitspercomponent);
    }
    out_.data = std::move(colour);
    if (!alpha.empty()) {
        auto mask = std::make_shared<imagedesc>(*out_.softmask);
        mask->data = std::move(alpha);
        out_.softmask = std::move(mask);
    }
    return {};
}

status datareader::read() {
    const bool jpegcmyk = t_.compression == COMPRESSION_JPEG && plan_.model == samplemodel::cmyk;
    if (jpegcmyk && plan_.how != route::jpeg) {
        // Whether Adobe software wrote the samples, inverted; data that
        // cannot be read here fails in the decoder.
        std::vector<uint8_t> merged;
        bool usable = false;
        (void)readjpeg(merged, usable);
    }
    bool usable = plan_.how == route::decode || plan_.how == route::rgba;
    if (!usable) {
        if (status passed = readpassed(usable); !passed.ok()) {
            return passed;
        }
    }
    if (!usable) {
        plan_.how = route::decode;
        describetiffpage(t_, plan_, out_);
    }
    if (plan_.how == route::decode || plan_.how == route::rgba) {
        out_.stored = {};
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

status readtiffdata(bytesource& source, const std::string& where, const pagetags& tags,
                    pageplan& plan, uint64_t maxbytes, imagedesc& out) {
    return datareader(source, where, tags, plan, maxbytes, out).read();
}

} // namespace ovin
