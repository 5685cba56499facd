// Writing PNG pages for the benchmarks through libpng: 8-bit grey, RGB or
// palette, not interlaced, with the resolution in a pHYs chunk, compressed at
// libpng's default level as scanning programs write them.
#pragma once

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ovinbench {

struct pngpage {
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 1;             // 1 grey (or palette indices), 3 RGB
    std::vector<uint8_t> palette; // RGB triplets: the grey samples are indices
    uint32_t dpi = 300;           // stored as pixels per metre
    std::vector<uint8_t> pixels;  // rows top first, samples interleaved
};

namespace detail {

// libpng reports an error by jumping back to the setjmp below, so nothing
// in this frame has a destructor, and nothing set after setjmp is read
// after the jump.
inline bool writepngrows(png_structp png, png_infop info, std::FILE* file, const pngpage& page) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_init_io(png, file);
    const int type = page.channels == 3      ? PNG_COLOR_TYPE_RGB
                     : !page.palette.empty() ? PNG_COLOR_TYPE_PALETTE
                                             : PNG_COLOR_TYPE_GRAY;
    png_set_IHDR(png, info, page.width, page.height, 8, type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!page.palette.empty()) {
        png_color entries[256];
        const size_t count = std::min<size_t>(page.palette.size() / 3, 256);
        for (size_t i = 0; i < count; ++i) {
            entries[i] = {page.palette[3 * i], page.palette[3 * i + 1], page.palette[3 * i + 2]};
        }
        png_set_PLTE(png, info, entries, static_cast<int>(count));
    }
    const auto ppm = static_cast<png_uint_32>(page.dpi / 0.0254 + 0.5);
    png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    const size_t stride = size_t{page.width} * static_cast<size_t>(page.channels);
    for (uint32_t y = 0; y < page.height; ++y) {
        png_write_row(png, page.pixels.data() + stride * y);
    }
    png_write_end(png, nullptr);
    return true;
}

} // namespace detail

// Writes the page to path; false when the page is malformed or libpng or
// the file system refuses.
inline bool writepng(const std::string& path, const pngpage& page) {
    if ((page.channels != 1 && page.channels != 3) || page.width == 0 || page.height == 0 ||
        page.pixels.size() < size_t{page.width} * page.height * page.channels) {
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool written = info != nullptr && detail::writepngrows(png, info, file, page);
    png_destroy_write_struct(&png, &info);
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

} // namespace ovinbench
