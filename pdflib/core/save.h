// The save: turns the document list into one PDF file, page by page, each
// read, coded and written as the face says.
#pragma once

#include "core/state.h"
#include "core/ui.h"
#include "faces/policy.h"
#include "status.h"

#include <string>

namespace ovin {

// Writes the document under `filename`. The file appears only when the
// whole save succeeds; a file that was there before is left untouched by a
// failed or cancelled save. The failure is the last one of the save (a
// page that could not be prepared is written as an error page and the save
// goes on); its detail is what the caller reports.
status savepdf(librarystate& state, Ui& ui, const facepolicy& face, const std::string& filename);
// The same into an open file descriptor, as it goes; `name` names it.
status savepdftofd(librarystate& state, Ui& ui, const facepolicy& face, int fd,
                   const std::string& name);

} // namespace ovin
