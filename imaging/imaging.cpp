// The public operations: each looks its handle up in the table, does its one
// job, and reports failure as 0 (or null). No exception leaves them: an
// allocation that fails anywhere inside ends the operation with its failure
// result.
#include "imaging.h"

#include "draw.h"
#include "encode.h"
#include "handles.h"
#include "image.h"
#include "outfile.h"
#include "scale.h"

#include <optional>
#include <string>

using namespace ovin::imaging;

namespace {

// Runs body, turning any escaping exception (out of memory) into fallback.
template <typename T, typename Body> T guarded(T fallback, Body&& body) {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

enum class Format { Unknown, Tiff, Jpeg };

Format formatOf(const char* name) {
    if (name == nullptr) {
        return Format::Unknown;
    }
    std::string f = upperAscii(name);
    if (!f.empty() && f.front() == '.') {
        f.erase(0, 1);
    }
    if (f == "TIF" || f == "TIFF") {
        return Format::Tiff;
    }
    if (f == "JPG" || f == "JPEG") {
        return Format::Jpeg;
    }
    return Format::Unknown;
}

// What a write handle stands for: a page bitmap's page of its image, or an
// image's current page.
struct PageRef {
    Image* image = nullptr;
    int32_t page = 0;
};

PageRef pageFor(ImgHandle handle) {
    HandleTable& table = handleTable();
    if (const auto* dib = table.find<PageBitmap>(handle)) {
        return {table.findImage(dib->owner), dib->page};
    }
    Image* image = table.findImage(handle);
    return {image, image ? image->currentPage() : 0};
}

// Makes a page current for the length of a write, and the page that was
// current before current again afterwards.
class PageVisit {
public:
    PageVisit(Image& image, int32_t page) : image_(image), previous_(image.currentPage()) {
        ok_ = image.setPage(page);
    }
    ~PageVisit() {
        try {
            image_.setPage(previous_);
        } catch (...) { // the image stays at the page written
        }
    }
    PageVisit(const PageVisit&) = delete;
    PageVisit& operator=(const PageVisit&) = delete;
    bool ok() const { return ok_; }

private:
    Image& image_;
    int32_t previous_;
    bool ok_ = false;
};

// Encodes the image's current page into a new file of that name.
int writePage(const char* filename, Format kind, Image& image, const OptionBlock& options) {
    const auto rows = image.rows();
    if (!rows) {
        return 0;
    }
    std::optional<TiffSettings> tiff;
    std::optional<JpegSettings> jpeg;
    if (kind == Format::Tiff) {
        tiff = tiffSettings(rows->format(), options);
    } else {
        jpeg = jpegSettings(rows->format(), options);
    }
    if (!tiff && !jpeg) {
        return 0;
    }
    NewFile file(filename);
    if (file.status() == NewFile::Status::Exists) {
        return kImgFileExists;
    }
    if (file.status() != NewFile::Status::Created) {
        return 0;
    }
    const bool written =
        tiff ? encodeTiff(*rows, *tiff, file.fd()) : encodeJpeg(*rows, *jpeg, file.fd());
    return written && file.finish() ? 1 : 0;
}

} // namespace

int ImgInit() {
    return 1;
}

int ImgShutdown() {
    return guarded(0, [] {
        handleTable().clear();
        return 1;
    });
}

ImgHandle ImgOpenSolo(const char* filename, const char* /*type*/) {
    return guarded<ImgHandle>(0, [&]() -> ImgHandle {
        auto source = openImageFile(filename);
        if (!source) {
            return 0;
        }
        return handleTable().add(std::make_unique<Image>(std::move(source)));
    });
}

const ImgInfo* ImgGetInfo(ImgHandle image, int32_t* /*flags*/) {
    return guarded<const ImgInfo*>(nullptr, [&]() -> const ImgInfo* {
        Image* img = handleTable().findImage(image);
        return img ? &img->info() : nullptr;
    });
}

ImgHandle ImgCopy(ImgHandle image, int32_t width, int32_t height, int32_t /*reserved*/,
                  int32_t /*flags*/) {
    return guarded<ImgHandle>(0, [&]() -> ImgHandle {
        Image* img = handleTable().findImage(image);
        if (!img) {
            return 0;
        }
        const auto page = img->page();
        if (!page) {
            return 0;
        }
        auto scaled = scaleToRgb(*page, width, height);
        if (!scaled) {
            return 0;
        }
        auto source = memorySource(std::make_shared<const Bitmap>(std::move(*scaled)));
        return handleTable().add(std::make_unique<Image>(std::move(source)));
    });
}

int ImgDrawImage(ImgHandle image, ImgSurface* surface, const ImgRect* rect, int32_t /*flags*/) {
    return guarded(0, [&]() -> int {
        Image* img = handleTable().findImage(image);
        if (!img || surface == nullptr || rect == nullptr) {
            return 0;
        }
        const auto page = img->page();
        return page && drawStretched(*page, *surface, *rect) ? 1 : 0;
    });
}

int ImgSetPage(ImgHandle image, int32_t page) {
    return guarded(0, [&]() -> int {
        Image* img = handleTable().findImage(image);
        return img && img->setPage(page) ? 1 : 0;
    });
}

ImgHandle ImgXOptBlkCreate(const char* options) {
    return guarded<ImgHandle>(0, [&]() -> ImgHandle {
        return handleTable().add(OptionBlock::parse(options ? options : ""));
    });
}

int ImgXOptBlkDel(ImgHandle options) {
    return guarded(0, [&]() -> int {
        HandleTable& table = handleTable();
        if (!table.find<OptionBlock>(options)) {
            return 0;
        }
        return table.remove(options) ? 1 : 0;
    });
}

ImgHandle ImgGetDIB(ImgHandle image, int32_t /*reserved1*/, int32_t /*reserved2*/) {
    return guarded<ImgHandle>(0, [&]() -> ImgHandle {
        Image* img = handleTable().findImage(image);
        if (!img || !img->pageFits()) {
            return 0;
        }
        return handleTable().add(PageBitmap{image, img->currentPage()});
    });
}

int ImgXWriteDIB(const char* filename, const char* format, ImgHandle dib, ImgHandle options,
                 uintptr_t /*window*/, int32_t /*flags*/) {
    return guarded(0, [&]() -> int {
        const Format kind = formatOf(format);
        const PageRef page = pageFor(dib);
        // Option block 0 means "no options"; any other number must be a block.
        const OptionBlock* block = handleTable().find<OptionBlock>(options);
        if (kind == Format::Unknown || page.image == nullptr || filename == nullptr ||
            *filename == '\0' || (options != 0 && block == nullptr)) {
            return 0;
        }
        const OptionBlock none;
        PageVisit visit(*page.image, page.page);
        return visit.ok() ? writePage(filename, kind, *page.image, block ? *block : none) : 0;
    });
}

int ImgClose(ImgHandle image) {
    return guarded(0, [&] { return handleTable().remove(image) ? 1 : 0; });
}
