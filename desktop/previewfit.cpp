#include "previewfit.h"

#include <algorithm>
#include <cmath>

namespace {
// Single-precision values, rounded to the nearest integer with halves going
// to the even neighbour (the default rounding mode).
int roundEven(float value) {
    return static_cast<int>(std::nearbyint(value));
}
} // namespace

QSize previewSize(int width, int height, int panelWidth, int panelHeight) {
    int w = width;
    int h = height;
    if (width > panelWidth || height > panelHeight) {
        const float r = static_cast<float>(width) / static_cast<float>(height);
        const float p = static_cast<float>(panelWidth) / static_cast<float>(panelHeight);
        if (r > p) {
            w = panelWidth - 10;
            h = roundEven(static_cast<float>(w) / r);
        } else {
            h = panelHeight - 10;
            w = roundEven(static_cast<float>(h) * r);
        }
    }
    // A very long, thin image (or a tiny panel) would round to nothing; a
    // bitmap needs at least one pixel each way.
    return {std::max(w, 1), std::max(h, 1)};
}
