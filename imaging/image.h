// An open image: its file (or in-memory copy), the current page, the
// information record handed out for it, and the current page decoded once
// on first use (for the preview; an encoder takes the page's rows instead).
#pragma once

#include "imaging.h"
#include "source.h"

#include <memory>

namespace ovin::imaging {

class Image {
public:
    explicit Image(std::unique_ptr<ImageSource> source);

    const ImgInfo& info() const { return info_; }
    int32_t currentPage() const { return current_; }
    // Makes the zero-based page current; false leaves everything as it was.
    bool setPage(int32_t page);
    // The current page decoded; null when it cannot be. Decoded once per page.
    std::shared_ptr<const Bitmap> page();
    // The current page's rows for an encoder: those of the decoded page when
    // it is at hand, else read from the file without keeping the page.
    // Null when the page cannot be read.
    std::unique_ptr<RowSource> rows();
    // True when the current page's size and depth are within what a decoded
    // bitmap may take.
    bool pageFits() const;

private:
    void refreshInfo();

    std::unique_ptr<ImageSource> source_;
    int32_t current_ = 0;
    ImgInfo info_{};
    std::shared_ptr<const Bitmap> decoded_;
    bool decodeFailed_ = false;
};

} // namespace ovin::imaging
