// Part of libovinpdf.so, not of the module: finds and loads the Qt module
// with the dynamic loader, so that the library itself links no Qt.
#include "module.h"
#include "version.h"

#include <dlfcn.h>

#include <string>
#include <string_view>

namespace ovin {

namespace {

// An object of libovinpdf.so whose address tells dladdr which file the
// library was loaded from.
constexpr char kAnchor = 0;

bool widgetsLoaded() {
    // RTLD_NOLOAD only looks: a process without Qt never gets it from here.
    void* widgets = dlopen(kQtWidgetsLibrary, RTLD_LAZY | RTLD_NOLOAD);
    if (widgets == nullptr) {
        return false;
    }
    dlclose(widgets);
    return true;
}

// The folder of the loaded libovinpdf.so; empty when it cannot be told.
std::string libraryFolder() {
    Dl_info info{};
    if (dladdr(&kAnchor, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    const std::string_view path = info.dli_fname;
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

std::unique_ptr<Ui> tryModule(const std::string& path, uintptr_t window) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        return nullptr;
    }
    void* symbol = dlsym(module, kQtModuleFactory);
    if (symbol != nullptr) {
        auto factory = reinterpret_cast<decltype(&ovinpdfqt_makeui)>(symbol);
        if (std::unique_ptr<Ui> ui(factory(kLibraryVersion, window)); ui) {
            // Never closed: the Ui's code, its widgets and their meta-objects
            // live in the module for the rest of the process.
            return ui;
        }
    }
    dlclose(module);
    return nullptr;
}

} // namespace

std::unique_ptr<Ui> loadQtUi(uintptr_t window) {
    if (window == 0 || !widgetsLoaded()) {
        return nullptr;
    }
    const std::string folder = libraryFolder();
    if (folder.empty()) {
        return nullptr;
    }
    for (const std::string& path :
         {folder + '/' + kQtModuleFile, folder + '/' + kQtModuleFolder + '/' + kQtModuleFile}) {
        if (auto ui = tryModule(path, window)) {
            return ui;
        }
    }
    return nullptr;
}

} // namespace ovin
