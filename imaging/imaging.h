// The imaging operations: opening, scaling and drawing images for the
// preview, and re-encoding a TIFF page into a single-strip TIFF or a JPEG
// file. Handles are opaque numbers, 0 meaning failure; every operation
// accepts any handle value and fails cleanly on one it does not know, and
// reports running out of memory as a failure too.
#pragma once

#include <cstdint>

using ImgHandle = std::uint32_t;

// ImgXWriteDIB's result when something already has the file's name: nothing
// was written, and what is there was left as it was.
inline constexpr int kImgFileExists = -1;

// The information record of an open image. Width and height are its second
// and third 32-bit fields.
struct ImgInfo {
    int32_t size;         // size of this record in bytes
    int32_t width;        // pixels
    int32_t height;       // pixels
    int32_t bitsperpixel; // of the current page as decoded: 1, 8, 24 or 32
    int32_t pages;        // pages in the file
    int32_t xdpi;         // 0 when the file gives none
    int32_t ydpi;
};

// A plain 32-bit pixel surface that the caller owns: pixels are 0xAARRGGBB
// words (QImage::Format_RGB32 / ARGB32 layout), rows `stride` bytes apart.
struct ImgSurface {
    uint32_t* pixels;
    int32_t width;
    int32_t height;
    int32_t stride;
};

struct ImgRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

int ImgInit();
int ImgShutdown();

// type: the upper-case extension with or without its dot ("JPG", ".TIF",
// "BMP"); the file's own signature decides how it is read.
ImgHandle ImgOpenSolo(const char* filename, const char* type);

// Null on failure. flags may be null; it is not read.
const ImgInfo* ImgGetInfo(ImgHandle image, int32_t* flags);

// A new image holding the current page scaled to width by height (area
// averaging when shrinking). 0 on failure.
ImgHandle ImgCopy(ImgHandle image, int32_t width, int32_t height, int32_t reserved, int32_t flags);

// Draws the current page stretched into rect of the surface (clipped to it).
// 1 on success.
int ImgDrawImage(ImgHandle image, ImgSurface* surface, const ImgRect* rect, int32_t flags);

// Makes the zero-based page current. 1 on success. Going from one page to
// the next costs the same however far into the file they are.
int ImgSetPage(ImgHandle image, int32_t page);

// Parses "KEY = VALUE" lines joined by carriage returns. Never 0 for a valid
// text (an empty text gives an empty block).
ImgHandle ImgXOptBlkCreate(const char* options);
int ImgXOptBlkDel(ImgHandle options);

// The current page as a device-independent bitmap that keeps the page's
// depth (a 1-bit page stays 1-bit). The bitmap stays that page of the image;
// its pixels are read from the file only as it is written, a strip at a
// time. It belongs to the image and is released with it by ImgClose (or
// alone, by ImgClose of the bitmap). 0 for a page too large to decode.
ImgHandle ImgGetDIB(ImgHandle image, int32_t reserved1, int32_t reserved2);

// Writes the bitmap (or an image's current page) as format "TIF" or "JPG"
// under the options of the block: COMPRESS = ON|OFF, TIFF_COMPRESS =
// GROUP3|GROUP4, TIFF_ROWSPERSTRIP = n, LOSSY_QUALITY = n,
// JPEG_OPTIMIZE_CODING = ON|OFF (OVERWRITE = ON|OFF is accepted and has no
// effect). The file is always made new: created exclusively, never through a
// symbolic link, readable by its owner only; when anything already has the
// name the result is kImgFileExists. A failed write leaves no file behind.
// 1 on success, 0 on any other failure.
int ImgXWriteDIB(const char* filename, const char* format, ImgHandle dib, ImgHandle options,
                 uintptr_t window, int32_t flags);

// Releases an image (with its bitmaps), or one bitmap. 1 on success.
int ImgClose(ImgHandle image);
