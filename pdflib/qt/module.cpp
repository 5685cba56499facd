// The module's single entry point; everything else in it stays hidden.
#include "module.h"
#include "version.h"

#include "qtui.h"

#include <string_view>

extern "C" __attribute__((visibility("default"))) ovin::Ui*
ovinpdfqt_makeui(const char* version, uintptr_t window) noexcept {
    // The Ui interface is shared as C++ classes, so only the library of the
    // same build may use this module.
    if (version == nullptr || std::string_view(version) != ovin::kLibraryVersion) {
        return nullptr;
    }
    try {
        return ovin::makeQtUi(window).release();
    } catch (...) {
        return nullptr;
    }
}
