#include "core/prepare.h"

#include "core/iccprofile.h"
#include "numbers.h"
#include "pagelimits.h"

namespace ovin {

pointsize pagepoints(const imagedesc& page) {
    return {roundeven(static_cast<long double>(page.width) / page.xdpi * 72),
            roundeven(static_cast<long double>(page.height) / page.ydpi * 72)};
}

status readimage(const facepolicy& face, readcontext& context, imagekind kind,
                 const std::string& name, bytesource* source, uint32_t page, imagedata mode,
                 imagedesc& out) {
    out.reset();
    if (status read = face.readpage(kind, name, source, page, mode, context, out); !read.ok()) {
        return read;
    }
    const documentoptions& options = context.options;
    if (!options.autoorient) {
        out.upright = orientation::normal;
    }
    if (!options.iccprofiles) {
        out.iccprofile.clear();
    }
    const std::string shown = face.shown(name);
    checkprofile(out, shown, context.warnings);
    face.resolve(name, context, out);

    // An sRGB output intent gives device RGB and grey their meaning, not
    // device CMYK.
    if (options.pdfa && out.colour == colourspace::cmyk && out.iccprofile.empty()) {
        return {OVINPDF_IMAGE_ERROR, shown + ": a CMYK page without an ICC profile cannot be in a "
                                             "PDF/A file, whose colours are sRGB"};
    }
    // A page without pixels (a JPEG without a frame header, say) would be
    // an empty, broken page in every reader.
    if (out.width <= 0 || out.height <= 0) {
        return {OVINPDF_IMAGE_ERROR, "Image has no width or height - file " + shown};
    }
    // A page of the image's own size must be one that readers draw; an
    // image laid out on a page of a given size is scaled onto it.
    const bool ownsize = !options.layout.sized() && !options.layout.boxed();
    const auto [w, h] = pagepoints(out);
    constexpr auto kMost = static_cast<int64_t>(kMaxPagePoints);
    if (ownsize && (w > kMost || h > kMost)) {
        return face.oversize(name, out, w > kMost);
    }
    constexpr auto kLeast = static_cast<int64_t>(kMinPagePoints);
    if (ownsize && (w < kLeast || h < kLeast)) {
        return {OVINPDF_IMAGE_ERROR,
                "Image too small - file " + shown + ": " + std::to_string(out.width) + " x " +
                    std::to_string(out.height) + " pixels at " + std::to_string(out.xdpi) + " x " +
                    std::to_string(out.ydpi) + " dpi make a page of " + std::to_string(w) + " x " +
                    std::to_string(h) + " points; a page needs at least 3 points a side"};
    }
    // Decoded samples are held in memory whole.
    const uint64_t pixels = uint64_t(out.width) * uint64_t(out.height);
    if (options.maxpixels > 0 && out.filter == pdffilter::none && pixels > options.maxpixels) {
        return {OVINPDF_IMAGE_ERROR,
                shown + ": " + std::to_string(out.width) + " x " + std::to_string(out.height) +
                    " pixels (" + std::to_string((pixels + 999'999) / 1'000'000) +
                    " megapixels) are more than the " +
                    std::to_string(options.maxpixels / 1'000'000) +
                    " megapixels a page may have; raise the limit (--max-megapixels) to read it"};
    }
    return {};
}

} // namespace ovin
