#include "rows.h"

namespace ovin::imaging {

namespace {

class BitmapRows final : public RowSource {
public:
    explicit BitmapRows(std::shared_ptr<const Bitmap> bitmap) : bitmap_(std::move(bitmap)) {}

    const PageFormat& format() const override { return *bitmap_; }
    bool rewind() override {
        y_ = 0;
        return true;
    }
    const uint8_t* next() override { return y_ < bitmap_->height ? bitmap_->row(y_++) : nullptr; }

private:
    std::shared_ptr<const Bitmap> bitmap_;
    int32_t y_ = 0;
};

} // namespace

std::unique_ptr<RowSource> bitmapRows(std::shared_ptr<const Bitmap> bitmap) {
    if (!bitmap || bitmap->pixels.size() < bitmap->stride * static_cast<size_t>(bitmap->height)) {
        return nullptr;
    }
    return std::make_unique<BitmapRows>(std::move(bitmap));
}

} // namespace ovin::imaging
