// Re-encoding of pages that cannot be embedded as stored, through the
// imaging library, into a file at the temporary image path.
#include "prepare.h"

#include "imaging.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace ovin {

namespace {

// Closes the image and the option block on every path.
struct imagesession {
    ImgHandle image = 0;
    ImgHandle options = 0;
    imagesession() = default;
    imagesession(const imagesession&) = delete;
    imagesession& operator=(const imagesession&) = delete;
    ~imagesession() {
        if (options != 0) {
            ImgXOptBlkDel(options);
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

status convertimage(const conversioncontext& context, imagekind kind, const std::string& name,
                    uint32_t page, imagedesc& image) {
    const std::string& temp = context.tempimgpath;
    if (pathexists(temp)) {
        return {OVINPDF_TEMP_EXISTS, temp};
    }
    imagesession session;
    session.image = ImgOpenSolo(name.c_str(), std::string(kindextension(kind)).c_str());
    if (session.image == 0) {
        return {OVINPDF_IMAGE_ERROR, "ImageMan cannot open image " + name};
    }
    if (ImgSetPage(session.image, static_cast<int32_t>(page) - 1) != 1) {
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
    ImgHandle bitmap = ImgGetDIB(session.image, 0, 0);
    if (ImgXWriteDIB(temp.c_str(), plan.format().c_str(), bitmap, session.options, context.window,
                     0) != 1) {
        return {OVINPDF_IMAGE_ERROR, "ImageMan cannot convert compression data in image " + name};
    }

    status result = plan.adopt(temp, image);
    if (::unlink(temp.c_str()) != 0) {
        context.ui.message("Unable to delete file " + temp);
    }
    return result;
}

} // namespace ovin
