// The view of a page that text recognition reads: each shown pixel comes
// from the stored pixel that the page draws there, and the text's matrix
// stands upright on the page as shown, for every orientation, rotation and
// layout.
#include "ocr/ocrpixels.h"
#include "pdf/pagelayout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ocrview, ShownPixelsMapOntoThePageWhereTheImageDrawsThem) {
    ovin::pagelayout own;
    own.exact = true;
    ovin::pagelayout a4 = own;
    ovin::parsepagesize("A4", a4.width, a4.height);
    a4.borderx = a4.bordery = 30;
    for (const ovin::pagelayout& base : {own, a4}) {
        for (int rotate : {0, 90, 180, 270}) {
            for (int o = 1; o <= 8; ++o) {
                SCOPED_TRACE("orientation " + std::to_string(o) + ", rotate " +
                             std::to_string(rotate) + (base.sized() ? ", A4" : ""));
                ovin::pagelayout layout = base;
                layout.rotate = rotate;
                ovin::imagedesc image;
                image.width = 300;
                image.height = 200;
                image.xdpi = image.ydpi = 150;
                image.upright = static_cast<ovin::orientation>(o);
                const ovin::ocrview view = ovin::viewof(image, layout);
                const ovin::pageplacement placed = ovin::placeimage(image, layout, "/I");
                EXPECT_EQ(view.width * view.height, image.width * image.height);
                for (const auto& [x, y] : {std::pair{0, 0}, std::pair{view.width - 1, 0},
                                           std::pair{17, view.height - 1}, std::pair{123, 45}}) {
                    const int64_t sx = view.xx * x + view.xy * y + view.x0;
                    const int64_t sy = view.yx * x + view.yy * y + view.y0;
                    ASSERT_TRUE(sx >= 0 && sy >= 0 && sx < image.width && sy < image.height);
                    // The stored pixel's centre on the page, and the shown one's.
                    const long double u = (sx + 0.5L) / image.width;
                    const long double v = 1 - (sy + 0.5L) / image.height;
                    const long double px = x + 0.5L;
                    const long double py = view.height - y - 0.5L;
                    EXPECT_NEAR(double(placed.image.x(u, v)), double(view.touser.x(px, py)), 1e-6);
                    EXPECT_NEAR(double(placed.image.y(u, v)), double(view.touser.y(px, py)), 1e-6);
                }
                // Text runs along the shown rows: after the page's /Rotate
                // its x axis points right and its y axis up.
                const long double t = placed.rotate * std::acos(-1.0L) / 180;
                const long double c = std::cos(t);
                const long double s = std::sin(t);
                // Turning clockwise by t maps (x, y) to (c x + s y, -s x + c y).
                EXPECT_GT(double(c * view.touser.a + s * view.touser.b), 0);
                EXPECT_NEAR(double(-s * view.touser.a + c * view.touser.b), 0, 1e-9);
                EXPECT_GT(double(-s * view.touser.c + c * view.touser.d), 0);
            }
        }
    }
}

TEST(ocrview, TurnsCompose) {
    using ovin::orientation;
    EXPECT_EQ(ovin::turned(orientation::normal, 90), orientation::quarterclockwise);
    EXPECT_EQ(ovin::turned(orientation::quarterclockwise, 270), orientation::normal);
    EXPECT_EQ(ovin::turned(orientation::normal, 180), orientation::halfturn);
    for (int o = 1; o <= 8; ++o) {
        const auto from = static_cast<orientation>(o);
        EXPECT_EQ(ovin::turned(ovin::turned(from, 90), 270), from);
        EXPECT_EQ(ovin::turned(from, 0), from);
    }
}

} // namespace
