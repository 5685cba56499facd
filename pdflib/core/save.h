// The document writer: turns the document list into one PDF 1.4 file.
#pragma once

#include "core/state.h"
#include "core/ui.h"
#include "status.h"

#include <string>

namespace ovin {

// Writes the document under `filename`. The file appears only when the
// whole save succeeds; a file that was there before is left untouched by a
// failed or cancelled save. The failure is the last one of the save (a
// page that could not be prepared is written as an error page and the save
// goes on); its detail is what the caller reports.
status savepdf(librarystate& state, Ui& ui, const std::string& filename);
// The same into an open file descriptor, as it goes; `name` names it.
status savepdftofd(librarystate& state, Ui& ui, int fd, const std::string& name);

} // namespace ovin
