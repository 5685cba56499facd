// The Qt face as a module of its own (libovinpdf-qt.so). libovinpdf.so
// needs no Qt: it loads the module only into a process that already has Qt
// Widgets, and runs headless whenever that fails.
#pragma once

#include "core/ui.h"

#include <cstdint>
#include <memory>

// The module's one export. Returns the Qt face for the caller's window, to
// be owned by the caller, or null: for another build of the library
// (version differs), without a QApplication, without a window, or off the
// application's thread.
extern "C" ovin::Ui* ovinpdfqt_makeui(const char* version, uintptr_t window) noexcept;

namespace ovin {

// The file name of the module, looked for next to libovinpdf.so (a build
// tree) and then in the library's private folder below it (an installed
// tree). The install rules use the same names.
inline constexpr char kQtModuleFile[] = "libovinpdf-qt.so";
inline constexpr char kQtModuleFolder[] = "ovinpdf";
inline constexpr char kQtModuleFactory[] = "ovinpdfqt_makeui";
// The library a Qt Widgets program has loaded; the module is only tried
// when it is already there.
inline constexpr char kQtWidgetsLibrary[] = "libQt6Widgets.so.6";

// Loads the module and asks it for the Qt face of window; null (run
// headless) for window 0, in a process without Qt Widgets, when the module
// is missing or refuses. Used by libovinpdf.so only.
std::unique_ptr<Ui> loadQtUi(uintptr_t window);

} // namespace ovin
