// The document writer: turns the document list into one PDF 1.4 file.
#pragma once

#include "state.h"
#include "ui.h"

#include <cstdint>
#include <string>

namespace ovin {

// Writes the document under `filename` and returns 0 or a negative result
// code with the detail in state.errorarg. The file appears only when the
// whole save succeeds; a file that was there before is left untouched by a
// failed or cancelled save.
int32_t savepdf(librarystate& state, Ui& ui, const std::string& filename);

} // namespace ovin
