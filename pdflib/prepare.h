// Image preparation: probing one page of an image file into an imgdata
// record, and re-encoding a page that cannot be embedded as stored.
#pragma once

#include "imgdata.h"
#include "state.h"
#include "ui.h"

#include <cstdint>
#include <string>

namespace ovin {

// Reads page `page` (1-based) of the file into `record`: geometry,
// resolution (defaults and warnings applied), coding and data. Returns 0,
// -3, -5 or -6 with the detail in state.errorarg.
int32_t probeimage(librarystate& state, Ui& ui, const std::string& name, uint16_t page,
                   imgdata& record);

// Re-encodes a TIFF page stored in several strips into a single-strip TIFF
// or a JPEG file at the temporary image path and takes its data into
// `record`. Returns 0, -3, -6 or -11 with the detail in state.errorarg.
int32_t convertimage(librarystate& state, Ui& ui, const std::string& name, uint16_t page,
                     imgdata& record);

} // namespace ovin
