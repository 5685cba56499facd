#include "pdf/pagelayout.h"

#include "ascii.h"
#include "numbers.h"
#include "pagelimits.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace ovin {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

int rotation(orientation upright) {
    switch (upright) {
    case orientation::halfturn:
        return 180;
    case orientation::quarterclockwise:
        return 90;
    case orientation::quarteranticlockwise:
        return 270;
    default:
        return 0;
    }
}

bool sideways(orientation upright) {
    return upright == orientation::transposed || upright == orientation::transversed;
}

std::string real(long double value) {
    return formatreal(value);
}

// The matrix that maps the image's unit square onto the rectangle at x, y
// of w by h points, mirrored as the orientation asks. Quarter and half turns
// are the page's /Rotate, so their matrix is the plain one.
std::string matrix(long double x, long double y, long double w, long double h,
                   orientation upright) {
    const auto at = [](long double v) { return real(v); };
    switch (upright) {
    case orientation::mirrored:
        return "-" + at(w) + " 0 0 " + at(h) + " " + at(x + w) + " " + at(y);
    case orientation::flipped:
        return at(w) + " 0 0 -" + at(h) + " " + at(x) + " " + at(y + h);
    case orientation::transposed:
        // Stored rows run down the page, from its right edge.
        return "0 -" + at(h) + " -" + at(w) + " 0 " + at(x + w) + " " + at(y + h);
    case orientation::transversed:
        return "0 " + at(h) + " " + at(w) + " 0 " + at(x) + " " + at(y);
    default:
        return at(w) + " 0 0 " + at(h) + " " + at(x) + " " + at(y);
    }
}

// The same matrix in numbers.
affine matrixof(long double x, long double y, long double w, long double h, orientation upright) {
    switch (upright) {
    case orientation::mirrored:
        return {-w, 0, 0, h, x + w, y};
    case orientation::flipped:
        return {w, 0, 0, -h, x, y + h};
    case orientation::transposed:
        return {0, -h, -w, 0, x + w, y + h};
    case orientation::transversed:
        return {0, h, w, 0, x, y};
    default:
        return {w, 0, 0, h, x, y};
    }
}

// The scale of the image in its box.
long double scale(pagefit fit, long double iw, long double ih, long double bw, long double bh) {
    const long double inside = std::min(bw / iw, bh / ih);
    switch (fit) {
    case pagefit::fill:
        return std::max(bw / iw, bh / ih);
    case pagefit::shrink:
        return std::min<long double>(inside, 1);
    case pagefit::enlarge:
        return std::max<long double>(inside, 1);
    default:
        return inside;
    }
}

} // namespace

affine affine::then(const affine& n) const {
    return {n.a * a + n.c * b, n.b * a + n.d * b,       n.a * c + n.c * d,
            n.b * c + n.d * d, n.a * e + n.c * f + n.e, n.b * e + n.d * f + n.f};
}

pageplacement placeimage(const imagedesc& image, const pagelayout& layout,
                         const std::string& name) {
    // The stored image's size in points, and its size once upright.
    const long double sw = static_cast<long double>(image.width) / image.xdpi * 72;
    const long double sh = static_cast<long double>(image.height) / image.ydpi * 72;
    const int turn = (rotation(image.upright) + layout.rotate) % 360;
    // A mirror along a diagonal exchanges the sides, and so does a quarter turn.
    const bool across = (turn == 90 || turn == 270) != sideways(image.upright);
    const long double iw = across ? sh : sw;
    const long double ih = across ? sw : sh;

    pageplacement p;
    p.rotate = turn;
    if (layout.classic()) {
        // The page is the image, its size exact or rounded to whole points;
        // the picture fills it from the origin.
        const long double mw = sideways(image.upright) ? iw : sw;
        const long double mh = sideways(image.upright) ? ih : sh;
        const auto side = [&](long double v) {
            return layout.exact ? real(v) : std::to_string(roundeven(v));
        };
        p.mediabox = "[0 0 " + side(mw) + " " + side(mh) + " ]";
        p.content = "q " + matrix(0, 0, mw, mh, image.upright) + " cm " + name + " Do Q";
        p.width = layout.exact ? mw : roundeven(mw);
        p.height = layout.exact ? mh : roundeven(mh);
        p.image = matrixof(0, 0, mw, mh, image.upright);
        return p;
    }

    // Upright: the page, the box inside the margins, the picture in it.
    long double pw = iw + 2 * layout.borderx;
    long double ph = ih + 2 * layout.bordery;
    long double bw = iw;
    long double bh = ih;
    long double dw = iw;
    long double dh = ih;
    bool clip = false;
    const auto fitinto = [&](long double boxw, long double boxh) {
        bw = boxw;
        bh = boxh;
        if (layout.fit == pagefit::exact) {
            dw = bw;
            dh = bh;
            return;
        }
        const long double k = scale(layout.fit, iw, ih, bw, bh);
        dw = iw * k;
        dh = ih * k;
        clip = dw > bw + 1e-9L || dh > bh + 1e-9L;
    };
    if (layout.sized()) {
        pw = layout.width;
        ph = layout.height;
        if (pw != ph) {
            const bool wide = layout.orientation == pageorientation::landscape ||
                              (layout.orientation == pageorientation::automatic && iw > ih);
            if (wide != (pw > ph)) {
                std::swap(pw, ph);
            }
        }
        long double boxw = std::max<long double>(pw - 2 * layout.borderx, 1);
        long double boxh = std::max<long double>(ph - 2 * layout.bordery, 1);
        if (layout.boxed()) {
            boxw = std::min<long double>(boxw, layout.imagewidth);
            boxh = std::min<long double>(boxh, layout.imageheight);
        }
        fitinto(boxw, boxh);
    } else if (layout.boxed()) {
        // The page is the fitted picture with its margins.
        fitinto(layout.imagewidth, layout.imageheight);
        bw = dw;
        bh = dh;
        clip = false;
        pw = dw + 2 * layout.borderx;
        ph = dh + 2 * layout.bordery;
    }

    // The page's own coordinates are those before its /Rotate turns it: a
    // quarter turn exchanges the sides. Everything is centred, so the
    // turned layout is centred the same way.
    const bool quarter = turn == 90 || turn == 270;
    const long double mw = quarter ? ph : pw;
    const long double mh = quarter ? pw : ph;
    const long double ow = quarter ? dh : dw; // the picture before the turn
    const long double oh = quarter ? dw : dh;
    const long double cw = quarter ? bh : bw; // the box before the turn
    const long double ch = quarter ? bw : bh;
    p.mediabox = "[0 0 " + real(mw) + " " + real(mh) + " ]";
    p.content = "q ";
    if (clip) {
        p.content += real((mw - cw) / 2) + " " + real((mh - ch) / 2) + " " + real(cw) + " " +
                     real(ch) + " re W n ";
    }
    p.content +=
        matrix((mw - ow) / 2, (mh - oh) / 2, ow, oh, image.upright) + " cm " + name + " Do Q";
    p.width = mw;
    p.height = mh;
    p.image = matrixof((mw - ow) / 2, (mh - oh) / 2, ow, oh, image.upright);
    return p;
}

bool parsepagesize(std::string_view text, double& width, double& height) {
    struct named {
        std::string_view name;
        double w, h; // millimetres or inches
        bool inches;
    };
    // ISO 216 (A, B) and ISO 269 (C) sheets, and the North American ones.
    static constexpr std::array<named, 20> kNamed{{
        {"A0", 841, 1189, false}, {"A1", 594, 841, false},   {"A2", 420, 594, false},
        {"A3", 297, 420, false},  {"A4", 210, 297, false},   {"A5", 148, 210, false},
        {"A6", 105, 148, false},  {"B0", 1000, 1414, false}, {"B1", 707, 1000, false},
        {"B2", 500, 707, false},  {"B3", 353, 500, false},   {"B4", 250, 353, false},
        {"B5", 176, 250, false},  {"B6", 125, 176, false},   {"C4", 229, 324, false},
        {"C5", 162, 229, false},  {"C6", 114, 162, false},   {"LETTER", 8.5, 11, true},
        {"LEGAL", 8.5, 14, true}, {"TABLOID", 11, 17, true},
    }};
    const std::string upper = toupperascii(text);
    for (const named& n : kNamed) {
        if (upper == n.name) {
            const double unit = n.inches ? 72 : kPointsPerMm;
            width = n.w * unit;
            height = n.h * unit;
            return true;
        }
    }
    // WIDTHxHEIGHT with a unit after each number or one at the end.
    const auto number = [](std::string_view& s, double& v) {
        const char* end = s.data() + s.size();
        const auto [ptr, ec] = std::from_chars(s.data(), end, v, std::chars_format::fixed);
        if (ec != std::errc() || ptr == s.data()) {
            return false;
        }
        s.remove_prefix(static_cast<size_t>(ptr - s.data()));
        return true;
    };
    // Points per unit of the unit that starts `s` (taken off), 0 for none.
    const auto unit = [](std::string_view& s) {
        static constexpr std::array<std::pair<std::string_view, double>, 4> kUnits{
            {{"MM", kPointsPerMm}, {"CM", 10 * kPointsPerMm}, {"IN", 72}, {"PT", 1}}};
        for (const auto& [name, points] : kUnits) {
            if (s.starts_with(name)) {
                s.remove_prefix(name.size());
                return points;
            }
        }
        return 0.0;
    };
    std::string_view s = upper;
    double w = 0;
    double h = 0;
    if (!number(s, w)) {
        return false;
    }
    const double wunit = unit(s);
    if (s.empty() || s.front() != 'X') {
        return false;
    }
    s.remove_prefix(1);
    if (!number(s, h)) {
        return false;
    }
    const double hunit = unit(s);
    if (!s.empty() || hunit == 0) {
        return false;
    }
    w *= wunit != 0 ? wunit : hunit;
    h *= hunit;
    if (!std::isfinite(w) || !std::isfinite(h) || w < kMinPagePoints || h < kMinPagePoints ||
        w > kMaxPagePoints || h > kMaxPagePoints) {
        return false;
    }
    width = w;
    height = h;
    return true;
}

} // namespace ovin
