#include "core/prepare.h"

#include "compression/compress.h"
#include "core/iccprofile.h"
#include "pdf/pdftext.h"

#include <algorithm>

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

uint16_t todpi(double dpi) {
    return static_cast<uint16_t>(std::clamp<int64_t>(roundeven(dpi), 1, 0xFFFF));
}

// The document face's resolution rule: the file's own resolution unless
// one is forced, else the default (200 unless set); a missing or low
// resolution gives one warning line for the file.
void documentresolution(const documentoptions& options, warninglist& warnings,
                        const std::string& name, imagedesc& out) {
    if (options.forcedpi > 0) {
        out.xdpi = out.ydpi = todpi(options.forcedpi);
        return;
    }
    if (out.xdpi != 0 && out.ydpi != 0) {
        if (out.xdpi < 200 || out.ydpi < 200) {
            warnings.add(name + ": low resolution, " + std::to_string(out.xdpi) + " x " +
                         std::to_string(out.ydpi) + " dpi");
        }
        return;
    }
    const uint16_t dpi = todpi(options.defaultdpi > 0 ? options.defaultdpi : 200);
    out.xdpi = out.xdpi != 0 ? out.xdpi : dpi;
    out.ydpi = out.ydpi != 0 ? out.ydpi : dpi;
    warnings.add(name + ": no resolution, " + std::to_string(dpi) + " dpi assumed");
}

} // namespace

pointsize pagepoints(const imagedesc& page) {
    return {roundeven(static_cast<long double>(page.width) / page.xdpi * 72),
            roundeven(static_cast<long double>(page.height) / page.ydpi * 72)};
}

status probeimage(preparecontext& context, imagekind kind, const std::string& name, uint32_t page,
                  imagedesc& out, imagedata mode) {
    const documentoptions& options = context.options;
    const probefunction probe = findprobe(kind, options);
    if (probe == nullptr) {
        return {OVINPDF_UNSUPPORTED_TYPE, name};
    }
    probecontext probing{context.ui, context.cache, options};
    out.reset();
    if (status probed = probe(name, page, mode, probing, out); !probed.ok()) {
        return probed;
    }
    if (!options.autoorient) {
        out.upright = orientation::normal;
    }
    if (!options.iccprofiles) {
        out.iccprofile.clear();
    }
    checkprofile(out, name, context.warnings);

    if (options.documentface) {
        documentresolution(options, context.warnings, name, out);
    } else {
        checkresolution(context.warnings, name, out.xdpi, context.defaultxdpi, "horizontal");
        checkresolution(context.warnings, name, out.ydpi, context.defaultydpi, "vertical");
    }

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
    // The document face's probes leave decoded samples uncompressed for the
    // one compression stage.
    if (options.documentface && mode == imagedata::read) {
        return compressimage(out, options, name);
    }
    return {};
}

} // namespace ovin
