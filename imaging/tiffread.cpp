// TIFF pages through libtiff. Bilevel, grey, palette and plain RGB pages are
// decoded from their raw samples so that their depth and bits stay exactly as
// stored (a CCITT page comes out as the very bits it encodes, whatever its
// photometric); every other layout goes through libtiff's RGBA reader.
#include "readers/bytesource.h"
#include "readers/tiff/tiffdecode.h"
#include "readers/tiff/tiffinfo.h"
#include "readers/tiff/tiffplan.h"
#include "readers/tiff/tiffstream.h"
#include "source.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace ovin::imaging {

namespace {

enum class Path { Bilevel, Grey, Palette, Rgb, Rgba };

struct Layout {
    Path path = Path::Rgba;
    int bits = 24; // depth of the decoded bitmap
    uint16_t bps = 1;
    uint16_t spp = 1;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
};

// The layout of a page, from its tags as the TIFF reader reads them.
Layout classify(const pagetags& t) {
    Layout l;
    l.bps = t.bits;
    l.spp = t.samples;
    l.photometric = t.photometric >= 0 ? static_cast<uint16_t>(t.photometric)
                    : t.samples >= 3   ? PHOTOMETRIC_RGB
                                       : PHOTOMETRIC_MINISBLACK;
    const bool rawUsable = t.compression != COMPRESSION_OJPEG;
    const bool grey =
        l.photometric == PHOTOMETRIC_MINISWHITE || l.photometric == PHOTOMETRIC_MINISBLACK;
    if (rawUsable && l.spp == 1 && grey && l.bps == 1) {
        l.path = Path::Bilevel;
        l.bits = 1;
    } else if (rawUsable && l.spp == 1 && grey &&
               (l.bps == 2 || l.bps == 4 || l.bps == 8 || l.bps == 16)) {
        l.path = Path::Grey;
        l.bits = 8;
    } else if (rawUsable && l.spp == 1 && l.photometric == PHOTOMETRIC_PALETTE &&
               (l.bps == 1 || l.bps == 2 || l.bps == 4 || l.bps == 8)) {
        l.path = Path::Palette;
        l.bits = 8;
    } else if (rawUsable && l.spp == 3 && l.photometric == PHOTOMETRIC_RGB && l.bps == 8 &&
               t.planar == PLANARCONFIG_CONTIG) {
        l.path = Path::Rgb;
        l.bits = 24;
    } else {
        l.path = Path::Rgba;
        l.bits = t.extras.empty() ? 24 : 32;
    }
    return l;
}

// Sample i of a row of packed samples of `bps` bits (1, 2, 4 or 8).
unsigned packedSample(const uint8_t* row, size_t i, unsigned bps) {
    const size_t bit = i * bps;
    const unsigned shift = 8 - bps - static_cast<unsigned>(bit & 7);
    return (row[bit >> 3] >> shift) & ((1U << bps) - 1);
}

std::vector<Rgb> colormap(const pagetags& t) {
    const std::vector<uint8_t> entries = tiffpalette(t);
    std::vector<Rgb> palette(entries.size() / 3);
    for (size_t i = 0; i < palette.size(); ++i) {
        palette[i] = {entries[3 * i], entries[3 * i + 1], entries[3 * i + 2]};
    }
    return palette;
}

// A page in one of the raw layouts as bitmap rows: bilevel and RGB rows as
// stored, grey levels widened to 8 bits, palette indexes to one byte each.
class TiffRows final : public RowSource {
public:
    TiffRows(tiffstream& stream, const Layout& l, PageFormat format)
        : raw_(stream, 0, kMaxBitmapBytes), bps_(l.bps), scale_(l.path == Path::Grey),
          widen_(l.path == Path::Grey || l.path == Path::Palette), format_(std::move(format)) {
        if (widen_) {
            line_.resize(format_.stride);
        }
    }

    const PageFormat& format() const override { return format_; }
    bool rewind() override {
        raw_.restart();
        return raw_.problem().empty();
    }

    const uint8_t* next() override {
        const uint8_t* row = raw_.next();
        if (row == nullptr || !widen_) {
            return row;
        }
        const auto w = static_cast<uint32_t>(format_.width);
        uint8_t* dst = line_.data();
        if (bps_ == 8) {
            std::memcpy(dst, row, w);
        } else if (bps_ == 16) {
            // libtiff hands 16-bit samples over in the machine's byte order.
            for (uint32_t x = 0; x < w; ++x) {
                uint16_t v = 0;
                std::memcpy(&v, row + 2 * static_cast<size_t>(x), 2);
                dst[x] = static_cast<uint8_t>(v >> 8);
            }
        } else {
            // Grey levels widen to 8 bits, indexes do not.
            const unsigned max = (1U << bps_) - 1;
            for (uint32_t x = 0; x < w; ++x) {
                const unsigned v = packedSample(row, x, bps_);
                dst[x] = static_cast<uint8_t>(scale_ ? v * 255 / max : v);
            }
        }
        return dst;
    }

private:
    tiffrows raw_;
    unsigned bps_;
    bool scale_;
    bool widen_;
    PageFormat format_;
    std::vector<uint8_t> line_;
};

// The rows of a page in one of the raw layouts, positioned at the top; null
// when the page cannot be read that way or is past the bitmap limits.
std::unique_ptr<TiffRows> rawRows(tiffstream& stream, const pagetags& t, const PageHeader& h) {
    const Layout l = classify(t);
    if (l.path == Path::Rgba || !bitmapFits(h.width, h.height, l.bits)) {
        return nullptr;
    }
    PageFormat format;
    format.width = static_cast<int32_t>(h.width);
    format.height = static_cast<int32_t>(h.height);
    format.bits = l.bits;
    format.photometric = l.path == Path::Palette ? kPhotometricPalette
                         : l.path == Path::Rgb   ? kPhotometricRgb
                                                 : l.photometric;
    format.stride = *packedStride(h.width, l.bits);
    format.xdpi = h.xdpi;
    format.ydpi = h.ydpi;
    if (l.path == Path::Palette) {
        format.palette = colormap(t);
        if (format.palette.empty()) {
            return nullptr;
        }
    }
    auto rows = std::make_unique<TiffRows>(stream, l, std::move(format));
    if (!rows->rewind()) {
        return nullptr;
    }
    return rows;
}

std::shared_ptr<const Bitmap> decodeRaw(tiffstream& stream, const pagetags& t,
                                        const PageHeader& h) {
    auto rows = rawRows(stream, t, h);
    if (!rows) {
        return nullptr;
    }
    const PageFormat& format = rows->format();
    auto bm = makeBitmap(format.width, format.height, format.bits, format.photometric);
    if (!bm) {
        return nullptr;
    }
    static_cast<PageFormat&>(*bm) = format;
    for (int32_t y = 0; y < bm->height; ++y) {
        const uint8_t* row = rows->next();
        if (row == nullptr) {
            return nullptr;
        }
        std::memcpy(bm->row(y), row, bm->stride);
    }
    return std::make_shared<const Bitmap>(std::move(*bm));
}

std::shared_ptr<const Bitmap> decodeRgba(TIFF* tif, const Layout& l, const PageHeader& h) {
    const uint64_t pixels = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height);
    if (pixels * 4 > kMaxBitmapBytes || !bitmapFits(h.width, h.height, l.bits)) {
        return nullptr;
    }
    char why[1024] = {};
    if (TIFFRGBAImageOK(tif, why) != 1) {
        return nullptr;
    }
    Bitmap bm;
    bm.width = static_cast<int32_t>(h.width);
    bm.height = static_cast<int32_t>(h.height);
    bm.bits = l.bits;
    bm.photometric = kPhotometricRgb;
    bm.stride = *packedStride(h.width, l.bits);
    bm.xdpi = h.xdpi;
    bm.ydpi = h.ydpi;
    // libtiff's raster of 32-bit words goes into the bitmap's own buffer and
    // is narrowed there, pixel by pixel from the start, to the bitmap's
    // layout: the page is held once, not as a raster and a bitmap.
    bm.pixels.resize(static_cast<size_t>(pixels) * 4);
    static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= alignof(uint32_t));
    if (TIFFReadRGBAImageOriented(
            tif, static_cast<uint32_t>(h.width), static_cast<uint32_t>(h.height),
            reinterpret_cast<uint32_t*>(bm.pixels.data()), ORIENTATION_TOPLEFT, 0) != 1) {
        return nullptr;
    }
    const size_t channels = l.bits == 32 ? 4 : 3;
    uint8_t* base = bm.pixels.data();
    for (size_t i = 0; i < static_cast<size_t>(pixels); ++i) {
        uint32_t word = 0;
        std::memcpy(&word, base + 4 * i, 4);
        uint8_t* dst = base + channels * i; // never past the words still to read
        dst[0] = static_cast<uint8_t>(TIFFGetR(word));
        dst[1] = static_cast<uint8_t>(TIFFGetG(word));
        dst[2] = static_cast<uint8_t>(TIFFGetB(word));
        if (channels == 4) {
            dst[3] = static_cast<uint8_t>(TIFFGetA(word));
        }
    }
    bm.pixels.resize(static_cast<size_t>(pixels) * channels);
    return std::make_shared<const Bitmap>(std::move(bm));
}

// A TIFF file's pages as the TIFF reader finds them (the directories of the
// chain read in full), each read and decoded by libtiff through the
// readers' stream once it is selected.
class TiffSource final : public ImageSource {
public:
    explicit TiffSource(std::unique_ptr<filesource> file) : source_(std::move(file)) {}

    // Walks the directory chain and reads the first page; false for a file
    // that is no TIFF or whose first page has no usable size.
    bool open() {
        tiffinfo chain;
        chain.read(*source_, 1, true);
        if (chain.problem != tiffproblem::none && chain.problem != tiffproblem::chainbroken) {
            return false;
        }
        offsets_ = std::move(chain.directories);
        offsets_.resize(std::min<size_t>(chain.wholepages, INT32_MAX));
        stream_ = std::make_unique<tiffstream>(*source_, kMaxBitmapBytes);
        return !offsets_.empty() && stream_->isopen() && selectPage(0);
    }

    int32_t pageCount() const override { return static_cast<int32_t>(offsets_.size()); }

    bool selectPage(int32_t page) override {
        if (page < 0 || static_cast<size_t>(page) >= offsets_.size()) {
            return false;
        }
        // The page's tags as the TIFF reader reads them; a page whose data
        // cannot hold its pixels is not read.
        tiffinfo info;
        info.knowndirectories = &offsets_;
        info.knownwhole = static_cast<uint32_t>(offsets_.size());
        info.read(*source_, static_cast<uint32_t>(page) + 1, true);
        pagetags t;
        if (info.found && tiffpagetags(info, "", t).ok() && t.width <= INT32_MAX &&
            t.height <= INT32_MAX && checktiffdata(t, source_->size(), "").ok() &&
            stream_->setdirectory(offsets_[static_cast<size_t>(page)])) {
            header_ = {t.width, t.height, classify(t).bits, t.xdpi, t.ydpi};
            tags_ = std::move(t);
            current_ = page;
            return true;
        }
        // Back to the page that was selected, if there was one.
        if (current_ >= 0) {
            stream_->setdirectory(offsets_[static_cast<size_t>(current_)]);
        }
        return false;
    }

    const PageHeader& header() const override { return header_; }

    std::shared_ptr<const Bitmap> decode() override {
        const Layout l = classify(tags_);
        if (l.path == Path::Rgba) {
            return decodeRgba(stream_->handle(), l, header_);
        }
        return decodeRaw(*stream_, tags_, header_);
    }

    std::unique_ptr<RowSource> rows() override {
        if (classify(tags_).path == Path::Rgba) {
            return ImageSource::rows();
        }
        return rawRows(*stream_, tags_, header_);
    }

private:
    // Declared in the order they are needed: the stream goes first on
    // destruction, then the file it reads.
    std::unique_ptr<filesource> source_;
    std::unique_ptr<tiffstream> stream_;
    std::vector<uint64_t> offsets_; // of the pages' directories
    int32_t current_ = -1;          // the page selected
    PageHeader header_;
    pagetags tags_; // of the page selected
};

} // namespace

std::unique_ptr<ImageSource> openTiff(std::unique_ptr<filesource> file) {
    auto source = std::make_unique<TiffSource>(std::move(file));
    if (!source->open()) {
        return nullptr;
    }
    return source;
}

} // namespace ovin::imaging
