#include "readers/tiff/libtiff.h"

#include <tiffio.h>

#include <dlfcn.h>

#include <cstdarg>

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

// The function of that name in libtiff; null when libtiff is not there.
template <typename F> F* real(const char* name) {
    void* handle = library().handle;
    return handle != nullptr ? reinterpret_cast<F*>(dlsym(handle, name)) : nullptr;
}

} // namespace

const std::string& libtiffproblem() {
    return library().problem;
}

} // namespace ovin

using ovin::real;

// Each function looks up its libtiff counterpart once and calls it; without
// libtiff it fails as libtiff does when it cannot do what is asked.
extern "C" {

TIFFOpenOptions* TIFFOpenOptionsAlloc(void) {
    static auto* const f = real<decltype(TIFFOpenOptionsAlloc)>("TIFFOpenOptionsAlloc");
    return f != nullptr ? f() : nullptr;
}

void TIFFOpenOptionsFree(TIFFOpenOptions* options) {
    static auto* const f = real<decltype(TIFFOpenOptionsFree)>("TIFFOpenOptionsFree");
    if (f != nullptr) {
        f(options);
    }
}

void TIFFOpenOptionsSetMaxSingleMemAlloc(TIFFOpenOptions* options, tmsize_t most) {
    static auto* const f =
        real<decltype(TIFFOpenOptionsSetMaxSingleMemAlloc)>("TIFFOpenOptionsSetMaxSingleMemAlloc");
    if (f != nullptr) {
        f(options, most);
    }
}

void TIFFOpenOptionsSetErrorHandlerExtR(TIFFOpenOptions* options, TIFFErrorHandlerExtR handler,
                                        void* data) {
    static auto* const f =
        real<decltype(TIFFOpenOptionsSetErrorHandlerExtR)>("TIFFOpenOptionsSetErrorHandlerExtR");
    if (f != nullptr) {
        f(options, handler, data);
    }
}

void TIFFOpenOptionsSetWarningHandlerExtR(TIFFOpenOptions* options, TIFFErrorHandlerExtR handler,
                                          void* data) {
    static auto* const f = real<decltype(TIFFOpenOptionsSetWarningHandlerExtR)>(
        "TIFFOpenOptionsSetWarningHandlerExtR");
    if (f != nullptr) {
        f(options, handler, data);
    }
}

TIFF* TIFFClientOpenExt(const char* name, const char* mode, thandle_t client,
                        TIFFReadWriteProc readproc, TIFFReadWriteProc writeproc,
                        TIFFSeekProc seekproc, TIFFCloseProc closeproc, TIFFSizeProc sizeproc,
                        TIFFMapFileProc mapproc, TIFFUnmapFileProc unmapproc,
                        TIFFOpenOptions* options) {
    static auto* const f = real<decltype(TIFFClientOpenExt)>("TIFFClientOpenExt");
    return f != nullptr ? f(name, mode, client, readproc, writeproc, seekproc, closeproc, sizeproc,
                            mapproc, unmapproc, options)
                        : nullptr;
}

void TIFFClose(TIFF* tif) {
    static auto* const f = real<decltype(TIFFClose)>("TIFFClose");
    if (f != nullptr) {
        f(tif);
    }
}

int TIFFIsCODECConfigured(uint16_t scheme) {
    static auto* const f = real<decltype(TIFFIsCODECConfigured)>("TIFFIsCODECConfigured");
    return f != nullptr ? f(scheme) : 0;
}

int TIFFSetSubDirectory(TIFF* tif, uint64_t offset) {
    static auto* const f = real<decltype(TIFFSetSubDirectory)>("TIFFSetSubDirectory");
    return f != nullptr ? f(tif, offset) : 0;
}

int TIFFGetField(TIFF* tif, uint32_t tag, ...) {
    static auto* const f = real<decltype(TIFFVGetField)>("TIFFVGetField");
    va_list args;
    va_start(args, tag);
    const int result = f != nullptr ? f(tif, tag, args) : 0;
    va_end(args);
    return result;
}

int TIFFGetFieldDefaulted(TIFF* tif, uint32_t tag, ...) {
    static auto* const f = real<decltype(TIFFVGetFieldDefaulted)>("TIFFVGetFieldDefaulted");
    va_list args;
    va_start(args, tag);
    const int result = f != nullptr ? f(tif, tag, args) : 0;
    va_end(args);
    return result;
}

int TIFFSetField(TIFF* tif, uint32_t tag, ...) {
    static auto* const f = real<decltype(TIFFVSetField)>("TIFFVSetField");
    va_list args;
    va_start(args, tag);
    const int result = f != nullptr ? f(tif, tag, args) : 0;
    va_end(args);
    return result;
}

int TIFFIsTiled(TIFF* tif) {
    static auto* const f = real<decltype(TIFFIsTiled)>("TIFFIsTiled");
    return f != nullptr ? f(tif) : 0;
}

uint32_t TIFFNumberOfStrips(TIFF* tif) {
    static auto* const f = real<decltype(TIFFNumberOfStrips)>("TIFFNumberOfStrips");
    return f != nullptr ? f(tif) : 0;
}

uint32_t TIFFNumberOfTiles(TIFF* tif) {
    static auto* const f = real<decltype(TIFFNumberOfTiles)>("TIFFNumberOfTiles");
    return f != nullptr ? f(tif) : 0;
}

uint32_t TIFFComputeTile(TIFF* tif, uint32_t x, uint32_t y, uint32_t z, uint16_t sample) {
    static auto* const f = real<decltype(TIFFComputeTile)>("TIFFComputeTile");
    return f != nullptr ? f(tif, x, y, z, sample) : 0;
}

uint64_t TIFFGetStrileOffset(TIFF* tif, uint32_t strile) {
    static auto* const f = real<decltype(TIFFGetStrileOffset)>("TIFFGetStrileOffset");
    return f != nullptr ? f(tif, strile) : 0;
}

uint64_t TIFFGetStrileByteCount(TIFF* tif, uint32_t strile) {
    static auto* const f = real<decltype(TIFFGetStrileByteCount)>("TIFFGetStrileByteCount");
    return f != nullptr ? f(tif, strile) : 0;
}

uint64_t TIFFScanlineSize64(TIFF* tif) {
    static auto* const f = real<decltype(TIFFScanlineSize64)>("TIFFScanlineSize64");
    return f != nullptr ? f(tif) : 0;
}

tmsize_t TIFFReadEncodedStrip(TIFF* tif, uint32_t strip, void* buffer, tmsize_t size) {
    static auto* const f = real<decltype(TIFFReadEncodedStrip)>("TIFFReadEncodedStrip");
    return f != nullptr ? f(tif, strip, buffer, size) : -1;
}

tmsize_t TIFFReadEncodedTile(TIFF* tif, uint32_t tile, void* buffer, tmsize_t size) {
    static auto* const f = real<decltype(TIFFReadEncodedTile)>("TIFFReadEncodedTile");
    return f != nullptr ? f(tif, tile, buffer, size) : -1;
}

int TIFFRGBAImageOK(TIFF* tif, char message[1024]) {
    static auto* const f = real<decltype(TIFFRGBAImageOK)>("TIFFRGBAImageOK");
    return f != nullptr ? f(tif, message) : 0;
}

int TIFFRGBAImageBegin(TIFFRGBAImage* image, TIFF* tif, int stoponerror, char message[1024]) {
    static auto* const f = real<decltype(TIFFRGBAImageBegin)>("TIFFRGBAImageBegin");
    return f != nullptr ? f(image, tif, stoponerror, message) : 0;
}

int TIFFRGBAImageGet(TIFFRGBAImage* image, uint32_t* raster, uint32_t width, uint32_t height) {
    static auto* const f = real<decltype(TIFFRGBAImageGet)>("TIFFRGBAImageGet");
    return f != nullptr ? f(image, raster, width, height) : 0;
}

void TIFFRGBAImageEnd(TIFFRGBAImage* image) {
    static auto* const f = real<decltype(TIFFRGBAImageEnd)>("TIFFRGBAImageEnd");
    if (f != nullptr) {
        f(image);
    }
}

int TIFFReadRGBAImageOriented(TIFF* tif, uint32_t width, uint32_t height, uint32_t* raster,
                              int orientation, int stoponerror) {
    static auto* const f = real<decltype(TIFFReadRGBAImageOriented)>("TIFFReadRGBAImageOriented");
    return f != nullptr ? f(tif, width, height, raster, orientation, stoponerror) : 0;
}

int TIFFWriteBufferSetup(TIFF* tif, void* buffer, tmsize_t size) {
    static auto* const f = real<decltype(TIFFWriteBufferSetup)>("TIFFWriteBufferSetup");
    return f != nullptr ? f(tif, buffer, size) : 0;
}

int TIFFWriteScanline(TIFF* tif, void* buffer, uint32_t row, uint16_t sample) {
    static auto* const f = real<decltype(TIFFWriteScanline)>("TIFFWriteScanline");
    return f != nullptr ? f(tif, buffer, row, sample) : -1;
}

int TIFFWriteDirectory(TIFF* tif) {
    static auto* const f = real<decltype(TIFFWriteDirectory)>("TIFFWriteDirectory");
    return f != nullptr ? f(tif) : 0;
}

int TIFFFlushData(TIFF* tif) {
    static auto* const f = real<decltype(TIFFFlushData)>("TIFFFlushData");
    return f != nullptr ? f(tif) : 0;
}

} // extern "C"
