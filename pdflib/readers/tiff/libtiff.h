// libtiff is loaded the first time a page needs it (a TIFF page decoded,
// a page coded in Group 4), not when the library is: a document whose
// pages are all kept as stored never loads it or the half-dozen libraries
// it brings. The libtiff functions the project calls are defined here and
// pass each call on; everything else in libtiff's header is used as it is.
#pragma once

#include <string>

namespace ovin {

// Empty once libtiff is loaded (this loads it), else why it could not be.
const std::string& libtiffproblem();

} // namespace ovin
