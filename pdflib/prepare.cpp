#include "prepare.h"

#include "textutil.h"

namespace ovin {

namespace {

constexpr int64_t kMaxPagePoints = 14400; // 200 inches

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

} // namespace

pointsize pagepoints(const imagedesc& page) {
    return {roundeven(static_cast<long double>(page.width) / page.xdpi * 72),
            roundeven(static_cast<long double>(page.height) / page.ydpi * 72)};
}

status probeimage(preparecontext& context, imagekind kind, const std::string& name, uint32_t page,
                  imagedesc& out, imagedata mode) {
    const imageformat* format = findformat(kind);
    if (format == nullptr) {
        return {OVINPDF_UNSUPPORTED_TYPE, name};
    }
    probecontext probing{context.ui, context.cache};
    if (status probed = format->probe(name, page, mode, probing, out); !probed.ok()) {
        return probed;
    }

    checkresolution(context.warnings, name, out.xdpi, context.defaultxdpi, "horizontal");
    checkresolution(context.warnings, name, out.ydpi, context.defaultydpi, "vertical");

    // A page without pixels (a JPEG without a frame header, say) would be
    // an empty, broken page in every reader.
    if (out.width <= 0 || out.height <= 0) {
        return {OVINPDF_IMAGE_ERROR, "Image has no width or height - file " + name};
    }
    const auto [w, h] = pagepoints(out);
    if (w > kMaxPagePoints) {
        return {OVINPDF_IMAGE_ERROR, "Image width too big - file " + name};
    }
    if (h > kMaxPagePoints) {
        return {OVINPDF_IMAGE_ERROR, "Image height too big - file " + name};
    }
    return {};
}

} // namespace ovin
