// The classic face: the behaviour of the fourteen exports of ovinpdf.h.
#include "faces/policy.h"
#include "compression/reencode.h"
#include "faces/classic/messages.h"
#include "faces/classic/pages.h"
#include "names.h"
#include "pdf/pdftext.h"

namespace ovin {

namespace {

// A missing resolution is taken from the first image of the document (or
// is 200), a low one is kept; either gives a warning for its direction.
void checkresolution(warninglist& warnings, const std::string& name, uint16_t& dpi,
                     int32_t fallback, const char* direction) {
    if (dpi == 0) {
        const int32_t value = fallback > 0 ? fallback : 200;
        dpi = static_cast<uint16_t>(value);
        warnings.add("WARNING : zero dpi (" + std::string(direction) + ") found in file " + name +
                     " (defaulting to " + std::to_string(value) + " dpi)");
    } else if (dpi < 200) {
        warnings.add("WARNING : " + std::to_string(dpi) + " dpi (" + direction +
                     ") found in file " + name);
    }
}

class classicpolicy final : public facepolicy {
public:
    bool validname(const std::string& name) const override { return validfilename(name); }

    // By the name's extension: .TIF, .JPG or .BMP in any letter case.
    status identify(const std::string& name, identified& file) const override {
        if (!fileexists(name)) {
            return {OVINPDF_FILE_NOT_FOUND, name};
        }
        file.kind = kindbyextension(name);
        if (file.kind == imagekind::unknown) {
            return {OVINPDF_UNSUPPORTED_TYPE, name};
        }
        return {};
    }

    bool allowsrepeats() const override { return false; }
    std::string shown(const std::string& name) const override { return name; }

    status readpage(imagekind kind, const std::string& name, bytesource*, uint32_t page,
                    imagedata mode, readcontext& context, imagedesc& out) const override {
        switch (kind) {
        case imagekind::tiff:
            return classictiffpage(name, page, mode, context, out);
        case imagekind::jpeg:
            return classicjpegpage(name, mode, context, out);
        case imagekind::bmp:
            return classicbmppage(name, mode, context, out);
        default:
            return {OVINPDF_UNSUPPORTED_TYPE, name};
        }
    }

    status oversize(const std::string& name, const imagedesc&, bool wide) const override {
        return {OVINPDF_IMAGE_ERROR, std::string(wide ? "Image width" : "Image height") +
                                         " too big - file " + shown(name)};
    }

    void resolve(const std::string& name, readcontext& context, imagedesc& page) const override {
        checkresolution(context.warnings, name, page.xdpi, context.defaultxdpi, "horizontal");
        checkresolution(context.warnings, name, page.ydpi, context.defaultydpi, "vertical");
    }

    // A page that cannot be embedded as stored goes through the imaging
    // library and the temporary image file.
    status code(const std::string& name, imagekind kind, uint32_t page,
                const codingcontext& context, imagedesc& image) const override {
        if (image.passthrough) {
            return {};
        }
        return convertimage({context.ui, context.tempimgpath, context.window, context.conversions},
                            kind, name, page, image);
    }

    objectlayout layout() const override { return objectlayout::classic; }
    bool describesdocument() const override { return false; }
    bool preparesahead(const documentoptions&) const override { return false; }
    bool keepsfacts() const override { return false; }
    bool flowstext() const override { return false; }

    // The error page shows the failure's detail (an I/O error its number),
    // and the save reports it escaped for a PDF string.
    pagefault pagefailure(const std::string&, const status& failure) const override {
        std::string text = errordetail(failure).value_or(std::string());
        status reported(OVINPDF_IMAGE_ERROR, pdfescape(text));
        return {std::move(text), std::move(reported)};
    }

    std::optional<std::string> errordetail(const status& failure) const override {
        if (failure.why()) {
            return std::to_string(classicnumber(failure.why()));
        }
        if (failure.hasdetail()) {
            return failure.detail();
        }
        return std::nullopt;
    }
};

} // namespace

std::unique_ptr<facepolicy> makeclassicface() {
    return std::make_unique<classicpolicy>();
}

} // namespace ovin
