#include "pagelook.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>

namespace ovintest {

namespace {

std::vector<uint8_t> saved(cmsHPROFILE profile) {
    std::vector<uint8_t> bytes;
    cmsUInt32Number size = 0;
    if (profile != nullptr && cmsSaveProfileToMem(profile, nullptr, &size)) {
        bytes.resize(size);
        cmsSaveProfileToMem(profile, bytes.data(), &size);
        // No creation date, so that a profile is the same bytes every time.
        std::fill(bytes.begin() + 24, bytes.begin() + 36, 0);
    }
    cmsCloseProfile(profile);
    return bytes;
}

std::vector<double> lab(const raster& image) {
    const size_t count = image.pixels.size() / 3;
    std::vector<double> out(count * 3);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE labprofile = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM t = cmsCreateTransform(srgb, TYPE_RGB_8, labprofile, TYPE_Lab_DBL,
                                         INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsDoTransform(t, image.pixels.data(), out.data(), static_cast<cmsUInt32Number>(count));
    cmsDeleteTransform(t);
    cmsCloseProfile(srgb);
    cmsCloseProfile(labprofile);
    return out;
}

} // namespace

raster oriented(const raster& stored, int orientation) {
    const bool sideways = orientation >= 5 && orientation <= 8;
    raster r = stored;
    r.width = sideways ? stored.height : stored.width;
    r.height = sideways ? stored.width : stored.height;
    const int w = stored.width;
    const int h = stored.height;
    const auto c = static_cast<size_t>(stored.channels);
    for (int y = 0; y < r.height; ++y) {
        for (int x = 0; x < r.width; ++x) {
            // The stored column and row that show at (x, y): 5 to 8 exchange
            // the axes, then columns or rows may run backwards.
            int sx = sideways ? y : x;
            int sy = sideways ? x : y;
            if (orientation == 2 || orientation == 3 || orientation == 7 || orientation == 8) {
                sx = w - 1 - sx;
            }
            if (orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7) {
                sy = h - 1 - sy;
            }
            const size_t from =
                (static_cast<size_t>(sy) * static_cast<size_t>(w) + static_cast<size_t>(sx)) * c;
            const size_t to =
                (static_cast<size_t>(y) * static_cast<size_t>(r.width) + static_cast<size_t>(x)) *
                c;
            std::copy_n(stored.pixels.begin() + static_cast<long>(from), c,
                        r.pixels.begin() + static_cast<long>(to));
        }
    }
    return r;
}

std::vector<uint8_t> srgbprofile() {
    return saved(cmsCreate_sRGBProfile());
}

std::vector<uint8_t> widergbprofile() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    std::vector<uint8_t> bytes = saved(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(gamma);
    return bytes;
}

std::vector<uint8_t> greyprofile() {
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    std::vector<uint8_t> bytes = saved(cmsCreateGrayProfile(cmsD50_xyY(), gamma));
    cmsFreeToneCurve(gamma);
    return bytes;
}

raster tosrgb(const raster& image, const std::vector<uint8_t>& profile) {
    raster r = image;
    cmsHPROFILE from =
        cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = from != nullptr ? cmsCreateTransform(from, TYPE_RGB_8, srgb, TYPE_RGB_8,
                                                           INTENT_RELATIVE_COLORIMETRIC, 0)
                                      : nullptr;
    if (t != nullptr) {
        cmsDoTransform(t, image.pixels.data(), r.pixels.data(),
                       static_cast<cmsUInt32Number>(image.pixels.size() / 3));
        cmsDeleteTransform(t);
    } else {
        r.error = "LittleCMS cannot use the profile";
    }
    if (from != nullptr) {
        cmsCloseProfile(from);
    }
    cmsCloseProfile(srgb);
    return r;
}

colourdifference deltae(const raster& a, const raster& b) {
    colourdifference d;
    if (a.width != b.width || a.height != b.height || a.channels != 3 || b.channels != 3 ||
        a.pixels.size() != b.pixels.size()) {
        d.error = "size or channels differ";
        return d;
    }
    const std::vector<double> la = lab(a);
    const std::vector<double> lb = lab(b);
    double total = 0;
    for (size_t i = 0; i + 2 < la.size(); i += 3) {
        const double e = std::hypot(la[i] - lb[i], la[i + 1] - lb[i + 1], la[i + 2] - lb[i + 2]);
        d.maximum = std::max(d.maximum, e);
        total += e;
    }
    d.mean = la.empty() ? 0 : total / static_cast<double>(la.size() / 3);
    return d;
}

} // namespace ovintest
