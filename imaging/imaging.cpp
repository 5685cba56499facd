// The public operations: each looks its handle up in the table, does its one
// job, and reports failure as 0 (or null). No exception leaves them.
#include "imaging.h"

#include "draw.h"
#include "encode.h"
#include "handles.h"
#include "image.h"
#include "outfile.h"
#include "scale.h"

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

// The bitmap a write handle stands for: a page bitmap, or an image's
// current page.
std::shared_ptr<const Bitmap> bitmapFor(ImgHandle handle) {
    HandleTable& table = handleTable();
    if (auto* dib = table.find<PageBitmap>(handle)) {
        return dib->bitmap;
    }
    if (Image* image = table.findImage(handle)) {
        return image->page();
    }
    return nullptr;
}

} // namespace

int ImgInit() {
    return 1;
}

int ImgShutdown() {
    handleTable().clear();
    return 1;
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
    Image* img = handleTable().findImage(image);
    return img ? &img->info() : nullptr;
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
    HandleTable& table = handleTable();
    if (!table.find<OptionBlock>(options)) {
        return 0;
    }
    return table.remove(options) ? 1 : 0;
}

ImgHandle ImgGetDIB(ImgHandle image, int32_t /*reserved1*/, int32_t /*reserved2*/) {
    return guarded<ImgHandle>(0, [&]() -> ImgHandle {
        Image* img = handleTable().findImage(image);
        if (!img) {
            return 0;
        }
        auto page = img->page();
        if (!page) {
            return 0;
        }
        return handleTable().add(PageBitmap{std::move(page), image});
    });
}

int ImgXWriteDIB(const char* filename, const char* format, ImgHandle dib, ImgHandle options,
                 uintptr_t /*window*/, int32_t /*flags*/) {
    return guarded(0, [&]() -> int {
        const Format kind = formatOf(format);
        const auto page = bitmapFor(dib);
        // Option block 0 means "no options"; any other number must be a block.
        const OptionBlock* block = handleTable().find<OptionBlock>(options);
        if (kind == Format::Unknown || !page || filename == nullptr || *filename == '\0' ||
            (options != 0 && block == nullptr)) {
            return 0;
        }
        const OptionBlock none;
        const OptionBlock& opts = block ? *block : none;
        const auto bytes = kind == Format::Tiff ? encodeTiff(*page, opts) : encodeJpeg(*page, opts);
        if (!bytes) {
            return 0;
        }
        const bool overwrite = opts.flag("OVERWRITE").value_or(false);
        return writeFileSafely(filename, *bytes, overwrite) ? 1 : 0;
    });
}

int ImgClose(ImgHandle image) {
    return handleTable().remove(image) ? 1 : 0;
}
