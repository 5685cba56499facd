#include "image.h"

#include <algorithm>

namespace ovin::imaging {

Image::Image(std::unique_ptr<ImageSource> source) : source_(std::move(source)) {
    refreshInfo();
}

void Image::refreshInfo() {
    const PageHeader& h = source_->header();
    info_.size = static_cast<int32_t>(sizeof(ImgInfo));
    info_.width = static_cast<int32_t>(std::min<int64_t>(h.width, INT32_MAX));
    info_.height = static_cast<int32_t>(std::min<int64_t>(h.height, INT32_MAX));
    info_.bitsperpixel = h.bits;
    info_.pages = source_->pageCount();
    info_.xdpi = h.xdpi;
    info_.ydpi = h.ydpi;
}

bool Image::setPage(int32_t page) {
    if (page < 0 || page >= source_->pageCount()) {
        return false;
    }
    if (page == current_) {
        return true;
    }
    if (!source_->selectPage(page)) {
        return false;
    }
    current_ = page;
    decoded_.reset();
    decodeFailed_ = false;
    refreshInfo();
    return true;
}

std::shared_ptr<const Bitmap> Image::page() {
    if (!decoded_ && !decodeFailed_) {
        decoded_ = source_->decode();
        decodeFailed_ = !decoded_;
    }
    return decoded_;
}

std::unique_ptr<RowSource> Image::rows() {
    if (decoded_) {
        return bitmapRows(decoded_);
    }
    return decodeFailed_ ? nullptr : source_->rows();
}

bool Image::pageFits() const {
    return imaging::pageFits(source_->header());
}

} // namespace ovin::imaging
