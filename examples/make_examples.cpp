// Makes the sample pages in examples/: a colour photograph (JPEG), a
// two-page letter (Group 4 TIFF) and a drawing (8-bit BMP). Run it from the
// repository's top folder after a build:
//   build/examples/make_examples examples
#include "bmpfixtures.h"
#include "jpegfixtures.h"
#include "tifffixtures.h"

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cstdio>
#include <string>

namespace {

QImage photo() {
    QImage image(900, 600, QImage::Format_RGB888);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 600);
    sky.setColorAt(0, QColor(70, 130, 200));
    sky.setColorAt(0.6, QColor(200, 225, 245));
    sky.setColorAt(1, QColor(90, 150, 70));
    p.fillRect(image.rect(), sky);
    QRadialGradient sun(700, 140, 70);
    sun.setColorAt(0, QColor(255, 250, 210));
    sun.setColorAt(1, QColor(255, 200, 60));
    p.setBrush(sun);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(700, 140), 70, 70);
    p.setBrush(QColor(60, 100, 50));
    p.drawPolygon(QPolygonF({QPointF(0, 420), QPointF(250, 260), QPointF(520, 430),
                             QPointF(900, 300), QPointF(900, 600), QPointF(0, 600)}));
    return image;
}

QImage letterpage(int number) {
    QImage image(1654, 2339, QImage::Format_Grayscale8); // A4 at 200 dpi
    image.fill(255);
    QPainter p(&image);
    p.setPen(Qt::black);
    QFont title("DejaVu Sans");
    title.setPixelSize(64);
    title.setBold(true);
    p.setFont(title);
    p.drawText(160, 260, number == 1 ? "Zentro PDF" : "Page two");
    QFont body("DejaVu Serif");
    body.setPixelSize(34);
    p.setFont(body);
    const char* lines[] = {"This letter is a sample page made by the project itself.",
                           "It is stored as a two-page TIFF file with CCITT Group 4 coding,",
                           "the way office scanners store black-and-white documents.",
                           "The PDF carries the coded data unchanged, so every dot of",
                           "the scan arrives in the document exactly as it was scanned."};
    int y = 420;
    for (int k = 0; k < 18; ++k) {
        p.drawText(160, y, lines[k % 5]);
        y += 95;
    }
    p.drawRect(160, y, 1330, 160);
    return image;
}

QImage drawing() {
    QImage image(480, 320, QImage::Format_RGB888);
    image.fill(QColor(250, 248, 240));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor colours[] = {QColor(200, 40, 40), QColor(40, 120, 200), QColor(240, 180, 20),
                              QColor(40, 160, 80)};
    for (int k = 0; k < 4; ++k) {
        p.setBrush(colours[k]);
        p.setPen(QPen(Qt::black, 3));
        p.drawRect(30 + k * 110, 60 + (k % 2) * 60, 90, 160);
    }
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string dir = argc > 1 ? argv[1] : "examples";

    QImage colour = photo();
    std::vector<uint8_t> rgb;
    for (int y = 0; y < colour.height(); ++y) {
        const uchar* row = colour.constScanLine(y);
        rgb.insert(rgb.end(), row, row + colour.width() * 3);
    }
    ovintest::jpegoptions jo;
    jo.quality = 85;
    jo.xdensity = jo.ydensity = 200;
    ovintest::savejpeg(dir + "/photo.jpg",
                       ovintest::makejpeg(static_cast<uint32_t>(colour.width()),
                                          static_cast<uint32_t>(colour.height()), rgb, jo));

    std::vector<ovintest::tiffpage> pages;
    for (int n = 1; n <= 2; ++n) {
        QImage grey = letterpage(n);
        ovintest::tiffpage page;
        page.width = static_cast<uint32_t>(grey.width());
        page.height = static_cast<uint32_t>(grey.height());
        page.bits = 1;
        page.photometric = 0; // 1 is black
        page.compression = 4;
        page.xres = page.yres = 200;
        page.pixels.assign(size_t{page.rowbytes()} * page.height, 0);
        for (uint32_t y = 0; y < page.height; ++y) {
            const uchar* row = grey.constScanLine(static_cast<int>(y));
            for (uint32_t x = 0; x < page.width; ++x) {
                if (row[x] < 128) {
                    page.pixels[y * page.rowbytes() + x / 8] |=
                        static_cast<uint8_t>(0x80 >> (x % 8));
                }
            }
        }
        pages.push_back(std::move(page));
    }
    ovintest::writetiff(dir + "/letter.tif", pages);

    QImage indexed = drawing();
    ovintest::bmpoptions bo;
    bo.bitcount = 8;
    bo.width = indexed.width();
    bo.height = indexed.height();
    bo.xppm = bo.yppm = 7874; // 200 dpi
    for (QRgb c : indexed.colorTable()) {
        bo.palette8.insert(bo.palette8.end(),
                           {static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
                            static_cast<uint8_t>(qBlue(c))});
    }
    bo.palette8.resize(768, 0);
    for (int y = 0; y < indexed.height(); ++y) {
        const uchar* row = indexed.constScanLine(y);
        bo.pixels.insert(bo.pixels.end(), row, row + indexed.width());
    }
    ovintest::savebmp(dir + "/drawing.bmp", ovintest::makebmp(bo));
    std::printf("wrote %s/photo.jpg, letter.tif, drawing.bmp\n", dir.c_str());
    return 0;
}
