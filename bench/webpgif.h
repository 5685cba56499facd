// Writing WebP and GIF pages for the benchmarks through libwebp and giflib:
// lossy or lossless WebP of RGB samples, and GIF of palette indices.
#pragma once

#include <gif_lib.h>
#include <webp/encode.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ovinbench {

// `rgb` rows top first; lossy at `quality` (0 to 100) unless lossless.
inline bool writewebp(const std::string& path, const std::vector<uint8_t>& rgb, uint32_t width,
                      uint32_t height, bool lossless, float quality = 80) {
    uint8_t* coded = nullptr;
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    const size_t size = lossless ? WebPEncodeLosslessRGB(rgb.data(), w, h, 3 * w, &coded)
                                 : WebPEncodeRGB(rgb.data(), w, h, 3 * w, quality, &coded);
    bool written = false;
    if (size != 0) {
        if (std::FILE* file = std::fopen(path.c_str(), "wb"); file != nullptr) {
            written = std::fwrite(coded, 1, size, file) == size;
            written = std::fclose(file) == 0 && written;
        }
    }
    WebPFree(coded);
    return written;
}

// One frame of 8-bit palette indices with its palette (RGB triplets, at
// most 256 entries).
inline bool writegif(const std::string& path, const std::vector<uint8_t>& indices,
                     const std::vector<uint8_t>& palette, uint32_t width, uint32_t height) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (gif == nullptr) {
        return false;
    }
    std::vector<GifColorType> colours(256);
    for (size_t i = 0; i < colours.size() && 3 * i + 2 < palette.size(); ++i) {
        colours[i] = {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
    }
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    bool ok = map != nullptr && EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
    for (uint32_t y = 0; ok && y < height; ++y) {
        ok = EGifPutLine(gif, const_cast<GifPixelType*>(indices.data() + size_t{y} * width), w) ==
             GIF_OK;
    }
    GifFreeMapObject(map);
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

} // namespace ovinbench
