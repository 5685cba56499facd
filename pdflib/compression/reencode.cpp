// Re-encoding of pages that cannot be embedded as stored, through the
// imaging library, into a file at the temporary image path, which is
// created anew (never opened when it exists) and removed on every path.
#include "compression/reencode.h"

#include "imaging.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ovin {

namespace {

// Releases on every path what one conversion made: the option block, the
// page bitmap, and the image unless a cache keeps it.
struct imagesession {
    ImgHandle image = 0;
    ImgHandle options = 0;
    ImgHandle bitmap = 0;
    imagesession() = default;
    imagesession(const imagesession&) = delete;
    imagesession& operator=(const imagesession&) = delete;
    ~imagesession() {
        if (options != 0) {
            ImgXOptBlkDel(options);
        }
        if (bitmap != 0) {
            ImgClose(bitmap);
        }
        if (image != 0) {
            ImgClose(image);
        }
    }
};

bool pathexists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0; // a dangling link counts too
}

} // namespace

conversioncache::~conversioncache() {
    close();
}

void conversioncache::close() {
    if (image != 0) {
        ImgClose(image);
    }
    image = 0;
    file.clear();
}

status convertimage(const conversioncontext& context, imagekind kind, const std::string& name,
                    uint32_t page, imagedesc& image) {
    const std::string& temp = context.tempimgpath;
    if (pathexists(temp)) {
        return {OVINPDF_TEMP_EXISTS, temp};
    }
    imagesession session;
    conversioncache* cache = context.cache;
    ImgHandle source = 0;
    if (cache != nullptr && cache->image != 0 && cache->file == name) {
        source = cache->image;
    } else {
        if (cache != nullptr) {
            cache->close();
        }
        source = session.image =
            ImgOpenSolo(name.c_str(), std::string(kindextension(kind)).c_str());
        if (source == 0) {
            return {OVINPDF_IMAGE_ERROR, "ImageMan cannot open image " + name};
        }
        if (cache != nullptr) {
            cache->file = name;
            cache->image = std::exchange(session.image, 0);
        }
    }
    if (ImgSetPage(source, static_cast<int32_t>(page) - 1) != 1) {
        return {OVINPDF_IMAGE_ERROR,
                "ImageMan cannot find page " + std::to_string(page) + " in file " + name};
    }
    if (image.reencode == nullptr) {
        return {OVINPDF_IMAGE_ERROR, "ImageMan cannot convert compression data in image " + name};
    }
    const reencoding& plan = *image.reencode;
    if (std::string refusal = plan.refusal(); !refusal.empty()) {
        return {OVINPDF_IMAGE_ERROR, std::move(refusal)};
    }
    session.options = ImgXOptBlkCreate(plan.options().c_str());
    session.bitmap = ImgGetDIB(source, 0, 0);
    const int written = ImgXWriteDIB(temp.c_str(), plan.format().c_str(), session.bitmap,
                                     session.options, context.window, 0);
    if (written == kImgFileExists) {
        // Made by someone else since the test above: never read, never removed.
        return {OVINPDF_TEMP_EXISTS, temp};
    }
    if (written != 1) {
        return {OVINPDF_IMAGE_ERROR, "ImageMan cannot convert compression data in image " + name};
    }

    // From here the temporary file is ours, and it goes on every path.
    status result;
    try {
        result = plan.adopt(temp, image);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    if (::unlink(temp.c_str()) != 0) {
        context.ui.message("Unable to delete file " + temp);
    }
    return result;
}

} // namespace ovin
