#include "readers/tiff/libtiff.h"

#include <tiffio.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstddef>

namespace ovin {

namespace {

struct loaded {
    void* handle = nullptr;
    std::string problem;
};

const loaded& library() {
    static const loaded lib = [] {
        loaded l;
        // RTLD_LOCAL: its symbols never stand in for anyone else's.
        l.handle = dlopen(OVIN_LIBTIFF_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (l.handle == nullptr) {
            const char* why = dlerror();
            l.problem = std::string("libtiff could not be loaded: ") +
                        (why != nullptr ? why : OVIN_LIBTIFF_SONAME);
        }
        return l;
    }();
    return lib;
}

// A function's name as a template argument, so that each name has its own
// looked-up pointer.
template <size_t N> struct symbol {
    constexpr symbol(const char (&name)[N]) { std::copy_n(name, N, text); }
    char text[N];
};

// libtiff's function `Name`, of type F, looked up once; null without
// libtiff.
template <symbol Name, typename F> F* find() {
    static F* const f = library().handle != nullptr
                            ? reinterpret_cast<F*>(dlsym(library().handle, Name.text))
                            : nullptr;
    return f;
}

// Calls it; without it, returns `failed`, as libtiff does when it cannot do
// what is asked.
template <symbol Name, typename F, typename R, typename... A> R pass(R failed, A... args) {
    F* const f = find<Name, F>();
    return f != nullptr ? f(args...) : failed;
}

// The same for a function without a result.
template <symbol Name, typename F, typename... A> void perform(A... args) {
    if (F* const f = find<Name, F>(); f != nullptr) {
        f(args...);
    }
}

} // namespace

const std::string& libtiffproblem() {
    return library().problem;
}

} // namespace ovin

using ovin::pass;
using ovin::perform;

// libtiff's function `fn`, looked up by its own name and type.
#define LIBTIFF(fn) pass<#fn, decltype(fn)>
#define LIBTIFF_DO(fn) perform<#fn, decltype(fn)>

// The libtiff functions the project calls, each passed on. The variadic
// field calls go to their va_list forms.
extern "C" {

TIFFOpenOptions* TIFFOpenOptionsAlloc(void) {
    return LIBTIFF(TIFFOpenOptionsAlloc)(static_cast<TIFFOpenOptions*>(nullptr));
}
void TIFFOpenOptionsFree(TIFFOpenOptions* o) {
    LIBTIFF_DO(TIFFOpenOptionsFree)(o);
}
void TIFFOpenOptionsSetMaxSingleMemAlloc(TIFFOpenOptions* o, tmsize_t most) {
    LIBTIFF_DO(TIFFOpenOptionsSetMaxSingleMemAlloc)(o, most);
}
void TIFFOpenOptionsSetErrorHandlerExtR(TIFFOpenOptions* o, TIFFErrorHandlerExtR h, void* d) {
    LIBTIFF_DO(TIFFOpenOptionsSetErrorHandlerExtR)(o, h, d);
}
void TIFFOpenOptionsSetWarningHandlerExtR(TIFFOpenOptions* o, TIFFErrorHandlerExtR h, void* d) {
    LIBTIFF_DO(TIFFOpenOptionsSetWarningHandlerExtR)(o, h, d);
}
TIFF* TIFFClientOpenExt(const char* name, const char* mode, thandle_t c, TIFFReadWriteProc r,
                        TIFFReadWriteProc w, TIFFSeekProc s, TIFFCloseProc cl, TIFFSizeProc sz,
                        TIFFMapFileProc m, TIFFUnmapFileProc u, TIFFOpenOptions* o) {
    return LIBTIFF(TIFFClientOpenExt)(static_cast<TIFF*>(nullptr), name, mode, c, r, w, s, cl, sz,
                                      m, u, o);
}
void TIFFClose(TIFF* tif) {
    LIBTIFF_DO(TIFFClose)(tif);
}
int TIFFIsCODECConfigured(uint16_t scheme) {
    return LIBTIFF(TIFFIsCODECConfigured)(0, scheme);
}
int TIFFSetSubDirectory(TIFF* tif, uint64_t at) {
    return LIBTIFF(TIFFSetSubDirectory)(0, tif, at);
}
int TIFFGetField(TIFF* tif, uint32_t tag, ...) {
    va_list args;
    va_start(args, tag);
    const int result = LIBTIFF(TIFFVGetField)(0, tif, tag, args);
    va_end(args);
    return result;
}
int TIFFGetFieldDefaulted(TIFF* tif, uint32_t tag, ...) {
    va_list args;
    va_start(args, tag);
    const int result = LIBTIFF(TIFFVGetFieldDefaulted)(0, tif, tag, args);
    va_end(args);
    return result;
}
int TIFFSetField(TIFF* tif, uint32_t tag, ...) {
    va_list args;
    va_start(args, tag);
    const int result = LIBTIFF(TIFFVSetField)(0, tif, tag, args);
    va_end(args);
    return result;
}
int TIFFIsTiled(TIFF* tif) {
    return LIBTIFF(TIFFIsTiled)(0, tif);
}
uint32_t TIFFNumberOfStrips(TIFF* tif) {
    return LIBTIFF(TIFFNumberOfStrips)(0u, tif);
}
uint32_t TIFFNumberOfTiles(TIFF* tif) {
    return LIBTIFF(TIFFNumberOfTiles)(0u, tif);
}
uint32_t TIFFComputeTile(TIFF* tif, uint32_t x, uint32_t y, uint32_t z, uint16_t s) {
    return LIBTIFF(TIFFComputeTile)(0u, tif, x, y, z, s);
}
uint64_t TIFFGetStrileOffset(TIFF* tif, uint32_t strile) {
    return LIBTIFF(TIFFGetStrileOffset)(uint64_t{0}, tif, strile);
}
uint64_t TIFFGetStrileByteCount(TIFF* tif, uint32_t strile) {
    return LIBTIFF(TIFFGetStrileByteCount)(uint64_t{0}, tif, strile);
}
uint64_t TIFFScanlineSize64(TIFF* tif) {
    return LIBTIFF(TIFFScanlineSize64)(uint64_t{0}, tif);
}
tmsize_t TIFFReadEncodedStrip(TIFF* tif, uint32_t strip, void* buffer, tmsize_t size) {
    return LIBTIFF(TIFFReadEncodedStrip)(tmsize_t{-1}, tif, strip, buffer, size);
}
tmsize_t TIFFReadEncodedTile(TIFF* tif, uint32_t tile, void* buffer, tmsize_t size) {
    return LIBTIFF(TIFFReadEncodedTile)(tmsize_t{-1}, tif, tile, buffer, size);
}
int TIFFRGBAImageOK(TIFF* tif, char message[1024]) {
    return LIBTIFF(TIFFRGBAImageOK)(0, tif, message);
}
int TIFFRGBAImageBegin(TIFFRGBAImage* image, TIFF* tif, int stop, char message[1024]) {
    return LIBTIFF(TIFFRGBAImageBegin)(0, image, tif, stop, message);
}
int TIFFRGBAImageGet(TIFFRGBAImage* image, uint32_t* raster, uint32_t w, uint32_t h) {
    return LIBTIFF(TIFFRGBAImageGet)(0, image, raster, w, h);
}
void TIFFRGBAImageEnd(TIFFRGBAImage* image) {
    LIBTIFF_DO(TIFFRGBAImageEnd)(image);
}
int TIFFReadRGBAImageOriented(TIFF* tif, uint32_t w, uint32_t h, uint32_t* raster, int o, int s) {
    return LIBTIFF(TIFFReadRGBAImageOriented)(0, tif, w, h, raster, o, s);
}
int TIFFWriteBufferSetup(TIFF* tif, void* buffer, tmsize_t size) {
    return LIBTIFF(TIFFWriteBufferSetup)(0, tif, buffer, size);
}
int TIFFWriteScanline(TIFF* tif, void* buffer, uint32_t row, uint16_t sample) {
    return LIBTIFF(TIFFWriteScanline)(-1, tif, buffer, row, sample);
}
int TIFFWriteDirectory(TIFF* tif) {
    return LIBTIFF(TIFFWriteDirectory)(0, tif);
}
int TIFFFlushData(TIFF* tif) {
    return LIBTIFF(TIFFFlushData)(0, tif);
}

} // extern "C"
