#include "readers/imagekind.h"
#include "source.h"

#include <array>
#include <cstring>
#include <utility>

namespace ovin::imaging {

namespace {

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
    auto file = std::make_unique<filesource>();
    std::array<uint8_t, 32> head{};
    int error = 0;
    if (name == nullptr || file->open(name) != 0 || !file->regular()) {
        return nullptr;
    }
    const int64_t got = file->readat(0, head.data(), head.size(), error);
    // By its signature, whatever its name says.
    switch (got < 0 ? imagekind::unknown : kindbysignature(head.data(), static_cast<size_t>(got))) {
    case imagekind::tiff:
        return openTiff(std::move(file));
    case imagekind::jpeg:
        return openJpeg(std::move(file));
    case imagekind::bmp:
        return openBmp(std::move(file));
    default:
        return nullptr;
    }
}

std::unique_ptr<ImageSource> memorySource(std::shared_ptr<const Bitmap> bitmap) {
    if (!bitmap) {
        return nullptr;
    }
    return std::make_unique<MemorySource>(std::move(bitmap));
}

} // namespace ovin::imaging
