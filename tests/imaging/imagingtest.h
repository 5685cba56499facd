// Helpers shared by the imaging tests: handle ownership, reading an image's
// pixels back through the public drawing call, and an independent reference
// for area-averaged downscaling.
#pragma once

#include "imaging.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace imgtest {

// Closes the handle at the end of the scope.
class Handle {
public:
    explicit Handle(ImgHandle h = 0) : h_(h) {}
    ~Handle() {
        if (h_ != 0) {
            ImgClose(h_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ImgHandle get() const { return h_; }
    explicit operator bool() const { return h_ != 0; }

private:
    ImgHandle h_;
};

// RGB triplets, rows top first.
struct Rgb {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> px;
    const uint8_t* at(int x, int y) const { return px.data() + 3 * (size_t(y) * width + x); }
};

// Draws the image 1:1 into a surface of its own size and returns the pixels.
inline Rgb pixelsOf(ImgHandle image) {
    Rgb out;
    const ImgInfo* info = ImgGetInfo(image, nullptr);
    if (info == nullptr) {
        ADD_FAILURE() << "no info for handle " << image;
        return out;
    }
    out.width = info->width;
    out.height = info->height;
    std::vector<uint32_t> surface(size_t(out.width) * out.height, 0);
    ImgSurface s{surface.data(), out.width, out.height, out.width * 4};
    ImgRect r{0, 0, out.width, out.height};
    EXPECT_EQ(ImgDrawImage(image, &s, &r, 0), 1);
    out.px.resize(surface.size() * 3);
    for (size_t i = 0; i < surface.size(); ++i) {
        EXPECT_EQ(surface[i] >> 24, 0xFFu);
        out.px[3 * i] = uint8_t(surface[i] >> 16);
        out.px[3 * i + 1] = uint8_t(surface[i] >> 8);
        out.px[3 * i + 2] = uint8_t(surface[i]);
    }
    return out;
}

// Box-filter reference: each output pixel is the mean of the source area it
// covers, partly covered pixels weighted by their covered fraction.
inline Rgb areaAverage(const Rgb& src, int dw, int dh) {
    Rgb out{dw, dh, std::vector<uint8_t>(size_t(dw) * dh * 3)};
    const double fx = double(src.width) / dw;
    const double fy = double(src.height) / dh;
    for (int oy = 0; oy < dh; ++oy) {
        const double y0 = oy * fy, y1 = (oy + 1) * fy;
        for (int ox = 0; ox < dw; ++ox) {
            const double x0 = ox * fx, x1 = (ox + 1) * fx;
            double sum[3] = {0, 0, 0};
            double area = 0;
            for (int sy = int(y0); sy < src.height && sy < y1; ++sy) {
                const double wy = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
                for (int sx = int(x0); sx < src.width && sx < x1; ++sx) {
                    const double w = wy * (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0));
                    for (int c = 0; c < 3; ++c) {
                        sum[c] += w * src.at(sx, sy)[c];
                    }
                    area += w;
                }
            }
            for (int c = 0; c < 3; ++c) {
                out.px[3 * (size_t(oy) * dw + ox) + c] = uint8_t(std::lround(sum[c] / area));
            }
        }
    }
    return out;
}

// Largest difference of any sample.
inline int maxDifference(const Rgb& a, const Rgb& b) {
    if (a.width != b.width || a.height != b.height || a.px.size() != b.px.size()) {
        return 256;
    }
    int worst = 0;
    for (size_t i = 0; i < a.px.size(); ++i) {
        worst = std::max(worst, std::abs(int(a.px[i]) - int(b.px[i])));
    }
    return worst;
}

inline double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) {
        return 0;
    }
    double se = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = double(a[i]) - double(b[i]);
        se += d * d;
    }
    if (se == 0) {
        return 99;
    }
    return 10 * std::log10(255.0 * 255.0 / (se / double(a.size())));
}

// Scales src with ImgCopy and checks the result against the reference.
inline void expectAreaAveragedCopy(ImgHandle image, const Rgb& expected, int dw, int dh) {
    Handle copy(ImgCopy(image, dw, dh, 0, 16));
    ASSERT_TRUE(copy);
    const ImgInfo* info = ImgGetInfo(copy.get(), nullptr);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->width, dw);
    EXPECT_EQ(info->height, dh);
    EXPECT_EQ(info->bitsperpixel, 24);
    EXPECT_LE(maxDifference(pixelsOf(copy.get()), areaAverage(expected, dw, dh)), 1);
}

} // namespace imgtest
