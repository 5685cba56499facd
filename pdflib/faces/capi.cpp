// The fourteen exports: thin wrappers over one process-wide library
// instance. No exception ever leaves them.
#include "ovinpdf.h"

#include "core/library.h"
#include "readers/imagekind.h"

#include "qt/module.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>

namespace {

struct processlibrary {
    ovin::Library library;
    bool haswindow = false; // a window of the caller's owns the library's windows
};

processlibrary& instance() {
    static processlibrary lib;
    return lib;
}

std::string_view text(const char* s) {
    return s == nullptr ? std::string_view() : s;
}

// Runs one call of the library. Nothing crosses the C boundary: a failure
// the call did not turn into a result code itself ends it with `failure`,
// and a call that returns a code also sets the error detail (the errno of
// the failure: 12 when memory ran out).
template <typename Call>
auto guarded(Call call, decltype(call()) failure) noexcept -> decltype(call()) {
    int error = 0;
    try {
        return call();
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    } catch (...) {
        error = EIO;
    }
    if constexpr (std::is_same_v<decltype(call()), int32_t>) {
        try {
            instance().library.report(ovin::status(failure, std::to_string(error)));
        } catch (...) {
            // Not even the detail could be stored; the code still tells.
        }
    }
    return failure;
}

template <typename Call> void guarded(Call call) noexcept {
    try {
        call();
    } catch (...) {
        // Nothing crosses the C boundary; the call simply has no effect.
    }
}

} // namespace

extern "C" {

void pdfinit(uintptr_t window, const char* tempimgpath) {
    guarded([&] {
        processlibrary& p = instance();
        // The Qt window comes from a module loaded only into a Qt Widgets
        // program; everywhere else the library stays headless.
        if (!p.haswindow && !p.library.saving()) {
            if (auto ui = ovin::loadQtUi(window)) {
                p.library.setui(std::move(ui));
                p.haswindow = true;
            }
        }
        p.library.pdfinit(window, text(tempimgpath));
    });
}

void settempimg(const char* path) {
    guarded([&] { instance().library.settempimg(text(path)); });
}

void setpdfmaker(const char* value) {
    guarded([&] { instance().library.setpdfmaker(text(value)); });
}

void setpdftitle(const char* value) {
    guarded([&] { instance().library.setpdftitle(text(value)); });
}

void showversioninfo(void) {
    guarded([&] { instance().library.showversioninfo(); });
}

bool validfext(const char* ext) {
    return guarded([&] { return ovin::validfext(text(ext)); }, false);
}

char* geterror(int32_t code) {
    return guarded(
        [&]() -> char* {
            std::string message = instance().library.geterror(code);
            auto* copy = static_cast<char*>(std::malloc(message.size() + 1));
            if (copy != nullptr) {
                std::memcpy(copy, message.c_str(), message.size() + 1);
            }
            return copy;
        },
        nullptr);
}

void getwarnings(const ovinpdf_lines* list) {
    if (list == nullptr || list->Add == nullptr) {
        return;
    }
    guarded([&] {
        instance().library.getwarnings(
            [&](const std::string& line) { list->Add(list->list, line.c_str()); });
    });
}

void pdfclear(void) {
    guarded([&] { instance().library.pdfclear(); });
}

int32_t pdfaddindex(const char* pagename, const char* title) {
    return guarded([&] { return instance().library.pdfaddindex(text(pagename), text(title)); },
                   OVINPDF_IO_ERROR);
}

int32_t pdfaddsubindex(const char* parentkey, const char* pagename, const char* title) {
    return guarded(
        [&] {
            return instance().library.pdfaddsubindex(text(parentkey), text(pagename), text(title));
        },
        OVINPDF_IO_ERROR);
}

int32_t pdfaddtext(const char* value) {
    return guarded([&] { return instance().library.pdfaddtext(text(value)); }, OVINPDF_IO_ERROR);
}

int32_t pdfaddimage(const char* filename) {
    return guarded([&] { return instance().library.pdfaddimage(text(filename)); },
                   OVINPDF_IO_ERROR);
}

int32_t pdfsave(const char* filename) {
    return guarded([&] { return instance().library.pdfsave(text(filename)); }, OVINPDF_IO_ERROR);
}

} // extern "C"
