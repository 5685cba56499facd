// Whether an embedded ICC profile can describe a page's colours. A profile
// that LittleCMS cannot read, or that is made for another number of colour
// components, would make readers show the page wrongly or not at all; the
// page then keeps its device colours.
#pragma once

#include "core/state.h"
#include "readers/imagedesc.h"

#include <cstdint>
#include <span>
#include <string>

namespace ovin {

// True when the profile opens, describes colours (not a device link or an
// abstract profile), has the colour space's component count (grey 1, RGB 3,
// CMYK 4) and converts colours to sRGB.
bool usableprofile(std::span<const uint8_t> profile, colourspace colour);

// Leaves the page's profile only when it is usable: an indexed page's profile
// goes quietly (its palette is written in device RGB), an unusable one with
// the warning "NAME: unusable ICC profile, device colours used".
void checkprofile(imagedesc& page, const std::string& name, warninglist& warnings);

// LittleCMS's sRGB profile, for an output intent.
std::vector<uint8_t> srgbprofile();

} // namespace ovin
