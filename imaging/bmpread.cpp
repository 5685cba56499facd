// Windows bitmaps through the bitmap reader (readers/bmp.h), which checks
// every size against the file and decodes every depth and coding it knows:
// 1-bit pages stay 1-bit with their palette, 2-, 4- and 8-bit ones become
// 8-bit indexed, 16- and 24-bit ones RGB, 32-bit ones RGB with alpha.
#include "numbers.h"
#include "readers/bmp.h"
#include "readers/bytesource.h"
#include "source.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ovin::imaging {

namespace {

int outputBits(const bmpheader& h) {
    if (h.bits == 1) {
        return 1;
    }
    if (h.bits <= 8) {
        return 8;
    }
    return h.bits == 32 ? 32 : 24;
}

// Turns a palette that is plain black and white, or the identity grey ramp,
// into the photometric it stands for so that bits and levels keep their
// meaning without it.
void simplifyPalette(Bitmap& bm) {
    if (bm.bits == 1 && bm.palette.size() == 2) {
        const Rgb black{0, 0, 0};
        const Rgb white{255, 255, 255};
        if (bm.palette[0] == black && bm.palette[1] == white) {
            bm.photometric = kPhotometricMinIsBlack;
            bm.palette.clear();
        } else if (bm.palette[0] == white && bm.palette[1] == black) {
            bm.photometric = kPhotometricMinIsWhite;
            bm.palette.clear();
        }
    } else if (bm.bits == 8 && bm.palette.size() == 256 && isIdentityGreyPalette(bm.palette)) {
        bm.photometric = kPhotometricMinIsBlack;
        bm.palette.clear();
    }
}

// One row of 2- or 4-bit indices as bytes, or of R,G,B and alpha as 32-bit
// pixels (see bmppixels).
void widenRow(const bmpheader& h, const bmppixels& pixels, size_t y, uint8_t* dst) {
    const size_t w = h.width;
    if (h.bits == 32) {
        for (size_t x = 0; x < w; ++x) {
            std::memcpy(dst + 4 * x, pixels.data.data() + 3 * (y * w + x), 3);
            dst[4 * x + 3] = pixels.alpha.empty() ? 255 : pixels.alpha[y * w + x];
        }
        return;
    }
    const uint8_t* src = pixels.data.data() + y * static_cast<size_t>(h.rowbytes());
    const unsigned bits = h.bits;
    const unsigned top = (1U << bits) - 1;
    for (size_t x = 0; x < w; ++x) {
        const size_t bit = x * bits;
        dst[x] = static_cast<uint8_t>((src[bit / 8] >> (8 - bits - bit % 8)) & top);
    }
}

class BmpSource final : public ImageSource {
public:
    BmpSource(std::unique_ptr<filesource> file, const bmpheader& bmp, std::vector<Rgb> palette)
        : file_(std::move(file)), bmp_(bmp), palette_(std::move(palette)) {
        header_.width = bmp_.width;
        header_.height = bmp_.height;
        header_.bits = outputBits(bmp_);
        header_.xdpi = dotsperinch(bmp_.xppm, 1, perunit::metre);
        header_.ydpi = dotsperinch(bmp_.yppm, 1, perunit::metre);
    }

    int32_t pageCount() const override { return 1; }
    bool selectPage(int32_t page) override { return page == 0; }
    const PageHeader& header() const override { return header_; }

    std::shared_ptr<const Bitmap> decode() override {
        const int bits = header_.bits;
        bmppixels pixels;
        // The bitmap's ceilings bound what the reader decodes, which takes
        // no more than the bitmap does.
        if (!bitmapFits(header_.width, header_.height, bits) ||
            !decodebmp(*file_, bmp_, pixels).ok()) {
            return nullptr;
        }
        auto bm = std::make_shared<Bitmap>();
        bm->width = static_cast<int32_t>(bmp_.width);
        bm->height = static_cast<int32_t>(bmp_.height);
        bm->bits = bits;
        bm->photometric = bits >= 24 ? kPhotometricRgb : kPhotometricPalette;
        bm->stride = *packedStride(bm->width, bits);
        if (bmp_.bits == 2 || bmp_.bits == 4 || bmp_.bits == 32) {
            bm->pixels.resize(bm->stride * bmp_.height);
            for (int32_t y = 0; y < bm->height; ++y) {
                widenRow(bmp_, pixels, static_cast<size_t>(y), bm->row(y));
            }
        } else {
            bm->pixels = std::move(pixels.data); // rows laid out as the bitmap's
        }
        if (bits <= 8) {
            bm->palette = palette_;
        }
        simplifyPalette(*bm);
        bm->xdpi = header_.xdpi;
        bm->ydpi = header_.ydpi;
        return bm;
    }

private:
    std::unique_ptr<filesource> file_;
    bmpheader bmp_;
    std::vector<Rgb> palette_;
    PageHeader header_;
};

} // namespace

std::unique_ptr<ImageSource> openBmp(std::unique_ptr<filesource> file) {
    if (file->size() == 0) {
        return nullptr;
    }
    bmpheader h;
    if (!readbmpheader(*file, std::string(), h).ok() ||
        (!h.rle() && !bmprowsinfile(h, file->size()))) {
        return nullptr; // not a bitmap the reader decodes, or pixels missing from the file
    }
    std::vector<Rgb> palette;
    if (h.indexed()) {
        const uint64_t entries = bmppaletteentries(h);
        std::vector<uint8_t> rgb;
        if (entries == 0 || !readbmppalette(*file, h, entries, rgb).ok()) {
            return nullptr;
        }
        for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
            palette.push_back({rgb[i], rgb[i + 1], rgb[i + 2]});
        }
    }
    return std::make_unique<BmpSource>(std::move(file), h, std::move(palette));
}

} // namespace ovin::imaging
