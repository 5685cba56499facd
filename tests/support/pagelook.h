// How a page should look: a stored picture turned upright as its EXIF or
// TIFF orientation says, and colours from an ICC profile's space shown in
// sRGB (through LittleCMS), with the CIE76 colour difference to judge
// rendered colours by.
#pragma once

#include "render.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ovintest {

// The picture as it stands upright for orientation 1 to 8.
raster oriented(const raster& stored, int orientation);

// ICC profiles made by LittleCMS: sRGB, a wide-gamut RGB one (Adobe RGB
// primaries, gamma 2.2) and a grey one (gamma 2.2).
std::vector<uint8_t> srgbprofile();
std::vector<uint8_t> widergbprofile();
std::vector<uint8_t> greyprofile();

// RGB pixels of the profile's space in sRGB (relative colorimetric).
raster tosrgb(const raster& image, const std::vector<uint8_t>& profile);

struct colourdifference {
    double maximum = 0; // largest CIE76 difference of one pixel
    double mean = 0;
    std::string error;
};
// Both rasters are sRGB (RGB, 8 bits); compared in CIE Lab.
colourdifference deltae(const raster& a, const raster& b);

} // namespace ovintest
