#include "core/iccprofile.h"

#include <lcms2.h>

#include <memory>
#include <type_traits>
#include <vector>

namespace ovin {

namespace {

// LittleCMS reports through a context's handler; these checks stay silent.
void quiet(cmsContext, cmsUInt32Number, const char*) {}

struct contextcloser {
    void operator()(cmsContext c) const { cmsDeleteContext(c); }
};
struct profilecloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct transformcloser {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using contextptr = std::unique_ptr<std::remove_pointer_t<cmsContext>, contextcloser>;
using profileptr = std::unique_ptr<void, profilecloser>;
using transformptr = std::unique_ptr<void, transformcloser>;

} // namespace

bool usableprofile(std::span<const uint8_t> profile, colourspace colour) {
    cmsColorSpaceSignature wanted{};
    cmsUInt32Number format = 0;
    switch (colour) {
    case colourspace::gray:
        wanted = cmsSigGrayData;
        format = TYPE_GRAY_8;
        break;
    case colourspace::rgb:
        wanted = cmsSigRgbData;
        format = TYPE_RGB_8;
        break;
    case colourspace::cmyk:
        wanted = cmsSigCmykData;
        format = TYPE_CMYK_8;
        break;
    default:
        return false;
    }
    if (profile.empty() || profile.size() > UINT32_MAX) {
        return false;
    }
    const contextptr context(cmsCreateContext(nullptr, nullptr));
    if (!context) {
        return false;
    }
    cmsSetLogErrorHandlerTHR(context.get(), quiet);
    const profileptr icc(cmsOpenProfileFromMemTHR(context.get(), profile.data(),
                                                  static_cast<cmsUInt32Number>(profile.size())));
    if (!icc || cmsGetColorSpace(icc.get()) != wanted) {
        return false;
    }
    const cmsProfileClassSignature kind = cmsGetDeviceClass(icc.get());
    if (kind != cmsSigInputClass && kind != cmsSigDisplayClass && kind != cmsSigOutputClass &&
        kind != cmsSigColorSpaceClass) {
        return false;
    }
    const profileptr srgb(cmsCreate_sRGBProfileTHR(context.get()));
    if (!srgb) {
        return false;
    }
    const transformptr transform(cmsCreateTransformTHR(context.get(), icc.get(), format, srgb.get(),
                                                       TYPE_RGB_8, INTENT_PERCEPTUAL,
                                                       cmsFLAGS_NOOPTIMIZE));
    return transform != nullptr;
}

void checkprofile(imagedesc& page, const std::string& name, warninglist& warnings) {
    if (page.iccprofile.empty()) {
        return;
    }
    if (page.colour == colourspace::indexed) {
        page.iccprofile.clear();
        return;
    }
    if (!usableprofile(page.iccprofile, page.colour)) {
        page.iccprofile.clear();
        warnings.add(name + ": unusable ICC profile, device colours used");
    }
}

std::vector<uint8_t> srgbprofile() {
    const contextptr context(cmsCreateContext(nullptr, nullptr));
    const profileptr srgb(cmsCreate_sRGBProfileTHR(context.get()));
    cmsUInt32Number size = 0;
    if (!srgb || cmsSaveProfileToMem(srgb.get(), nullptr, &size) == 0) {
        return {};
    }
    std::vector<uint8_t> bytes(size);
    if (cmsSaveProfileToMem(srgb.get(), bytes.data(), &size) == 0) {
        return {};
    }
    bytes.resize(size);
    return bytes;
}

} // namespace ovin
