#include "scale.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace ovin::imaging {

namespace {

// The source pixels one output pixel draws on, with their weights (summing
// to 1): a contiguous run starting at `first`.
struct Footprint {
    int64_t first = 0;
    std::vector<float> weights;
};

std::vector<Footprint> footprints(int64_t src, int64_t dst) {
    std::vector<Footprint> out(static_cast<size_t>(dst));
    for (int64_t i = 0; i < dst; ++i) {
        Footprint& f = out[static_cast<size_t>(i)];
        if (dst <= src) {
            // Output pixel i covers [i*src, (i+1)*src) and source pixel j covers
            // [j*dst, (j+1)*dst), both in units of 1/dst source pixels.
            const int64_t lo = i * src;
            const int64_t hi = (i + 1) * src;
            f.first = lo / dst;
            const int64_t last = (hi - 1) / dst;
            for (int64_t j = f.first; j <= last; ++j) {
                const int64_t overlap = std::min(hi, (j + 1) * dst) - std::max(lo, j * dst);
                f.weights.push_back(
                    static_cast<float>(static_cast<double>(overlap) / static_cast<double>(src)));
            }
        } else {
            const double centre = (static_cast<double>(i) + 0.5) * static_cast<double>(src) /
                                      static_cast<double>(dst) -
                                  0.5;
            auto j = static_cast<int64_t>(std::floor(centre));
            double frac = centre - static_cast<double>(j);
            if (j < 0) {
                j = 0;
                frac = 0;
            } else if (j >= src - 1) {
                j = src - 1;
                frac = 0;
            }
            f.first = j;
            f.weights.push_back(static_cast<float>(1.0 - frac));
            if (frac > 0) {
                f.weights.push_back(static_cast<float>(frac));
            }
        }
    }
    return out;
}

// Source rows converted to colour and scaled horizontally, the last two kept:
// consecutive output rows share at most their boundary rows.
class RowCache {
public:
    RowCache(const Bitmap& src, const std::vector<Footprint>& columns, size_t outWidth)
        : src_(src), columns_(columns), rgb_(static_cast<size_t>(src.width) * 3),
          outWidth_(outWidth) {}

    const std::vector<float>& get(int64_t y) {
        for (auto& slot : slots_) {
            if (slot.y == y) {
                return slot.values;
            }
        }
        Slot& slot = slots_[next_];
        next_ ^= 1U;
        slot.y = y;
        slot.values.assign(outWidth_ * 3, 0.0F);
        src_.rowToRgb(static_cast<int32_t>(y), rgb_.data());
        for (size_t x = 0; x < outWidth_; ++x) {
            const Footprint& f = columns_[x];
            float r = 0;
            float g = 0;
            float b = 0;
            const uint8_t* p = rgb_.data() + 3 * static_cast<size_t>(f.first);
            for (const float w : f.weights) {
                r += w * p[0];
                g += w * p[1];
                b += w * p[2];
                p += 3;
            }
            slot.values[3 * x] = r;
            slot.values[3 * x + 1] = g;
            slot.values[3 * x + 2] = b;
        }
        return slot.values;
    }

private:
    struct Slot {
        int64_t y = -1;
        std::vector<float> values;
    };
    const Bitmap& src_;
    const std::vector<Footprint>& columns_;
    std::vector<uint8_t> rgb_;
    size_t outWidth_;
    Slot slots_[2];
    unsigned next_ = 0;
};

uint8_t toByte(float v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

} // namespace

std::optional<Bitmap> scaleToRgb(const Bitmap& src, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0 || width > kMaxCopySide || height > kMaxCopySide ||
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxCopyPixels ||
        src.width <= 0 || src.height <= 0) {
        return std::nullopt;
    }
    auto out = makeBitmap(width, height, 24, kPhotometricRgb);
    if (!out) {
        return std::nullopt;
    }
    const auto columns = footprints(src.width, width);
    const auto rows = footprints(src.height, height);
    RowCache cache(src, columns, static_cast<size_t>(width));
    std::vector<float> acc(static_cast<size_t>(width) * 3);
    for (int32_t y = 0; y < height; ++y) {
        std::fill(acc.begin(), acc.end(), 0.0F);
        const Footprint& f = rows[static_cast<size_t>(y)];
        for (size_t k = 0; k < f.weights.size(); ++k) {
            const std::vector<float>& line = cache.get(f.first + static_cast<int64_t>(k));
            const float w = f.weights[k];
            for (size_t i = 0; i < acc.size(); ++i) {
                acc[i] += w * line[i];
            }
        }
        uint8_t* dst = out->row(y);
        for (size_t i = 0; i < acc.size(); ++i) {
            dst[i] = toByte(acc[i]);
        }
    }
    // The copy stands for the same area of paper.
    if (src.xdpi > 0) {
        out->xdpi = static_cast<int32_t>(
            std::lround(static_cast<double>(src.xdpi) * width / static_cast<double>(src.width)));
    }
    if (src.ydpi > 0) {
        out->ydpi = static_cast<int32_t>(
            std::lround(static_cast<double>(src.ydpi) * height / static_cast<double>(src.height)));
    }
    return out;
}

} // namespace ovin::imaging
