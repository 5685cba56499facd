#include "fd.h"
#include "source.h"

#include <array>
#include <cmath>
#include <cstring>
#include <utility>

namespace ovin::imaging {

namespace {

enum class Kind { Unknown, Tiff, Jpeg, Bmp };

Kind sniff(int fd) {
    std::array<unsigned char, 4> sig{};
    if (!readallat(fd, sig.data(), sig.size(), 0)) {
        return Kind::Unknown;
    }
    // Classic TIFF (42) and BigTIFF (43), either byte order.
    if ((sig[0] == 'I' && sig[1] == 'I' && (sig[2] == 42 || sig[2] == 43) && sig[3] == 0) ||
        (sig[0] == 'M' && sig[1] == 'M' && sig[2] == 0 && (sig[3] == 42 || sig[3] == 43))) {
        return Kind::Tiff;
    }
    if (sig[0] == 0xFF && sig[1] == 0xD8 && sig[2] == 0xFF) {
        return Kind::Jpeg;
    }
    if (sig[0] == 'B' && sig[1] == 'M') {
        return Kind::Bmp;
    }
    return Kind::Unknown;
}

class MemorySource final : public ImageSource {
public:
    explicit MemorySource(std::shared_ptr<const Bitmap> bitmap) : bitmap_(std::move(bitmap)) {
        header_.width = bitmap_->width;
        header_.height = bitmap_->height;
        header_.bits = bitmap_->bits;
        header_.xdpi = bitmap_->xdpi;
        header_.ydpi = bitmap_->ydpi;
    }
    int32_t pageCount() const override { return 1; }
    bool selectPage(int32_t page) override { return page == 0; }
    const PageHeader& header() const override { return header_; }
    std::shared_ptr<const Bitmap> decode() override { return bitmap_; }

private:
    std::shared_ptr<const Bitmap> bitmap_;
    PageHeader header_;
};

} // namespace

std::unique_ptr<RowSource> ImageSource::rows() {
    return bitmapRows(decode());
}

bool pageFits(const PageHeader& header) {
    return bitmapFits(header.width, header.height, header.bits);
}

std::unique_ptr<ImageSource> openImageFile(const char* name) {
    UniqueFd fd = openForReading(name);
    if (!fd.valid()) {
        return nullptr;
    }
    switch (sniff(fd.get())) {
    case Kind::Tiff:
        return openTiff(std::move(fd));
    case Kind::Jpeg:
        return openJpeg(std::move(fd));
    case Kind::Bmp:
        return openBmp(std::move(fd));
    case Kind::Unknown:
        break;
    }
    return nullptr;
}

std::unique_ptr<ImageSource> memorySource(std::shared_ptr<const Bitmap> bitmap) {
    if (!bitmap) {
        return nullptr;
    }
    return std::make_unique<MemorySource>(std::move(bitmap));
}

int32_t roundDpi(double dpi) {
    if (!std::isfinite(dpi) || dpi <= 0) {
        return 0;
    }
    if (dpi >= 1e9) {
        return 1000000000;
    }
    return static_cast<int32_t>(std::nearbyint(dpi));
}

} // namespace ovin::imaging
