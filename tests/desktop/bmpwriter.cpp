#include "bmpwriter.h"

#include <QByteArray>
#include <QFile>

#include <cmath>
#include <cstdint>

namespace {

void put16(QByteArray& out, std::uint16_t v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}

void put32(QByteArray& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

} // namespace

int pixelsPerMetre(int dpi) {
    return static_cast<int>(std::lround(dpi / 0.0254));
}

bool writeBmp(const QString& path, int width, int height, QColor colour, int ppm) {
    const auto rowBytes = static_cast<std::uint32_t>((width * 3 + 3) / 4 * 4);
    const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(height);
    QByteArray out;
    out.reserve(static_cast<qsizetype>(54 + imageBytes));
    out.append("BM", 2);
    put32(out, 54 + imageBytes);
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(width));
    put32(out, static_cast<std::uint32_t>(height)); // bottom-up
    put16(out, 1);
    put16(out, 24);
    put32(out, 0); // BI_RGB
    put32(out, imageBytes);
    put32(out, static_cast<std::uint32_t>(ppm));
    put32(out, static_cast<std::uint32_t>(ppm));
    put32(out, 0);
    put32(out, 0);
    QByteArray row(static_cast<qsizetype>(rowBytes), '\0');
    for (int x = 0; x < width; ++x) {
        row[3 * x] = static_cast<char>(colour.blue());
        row[3 * x + 1] = static_cast<char>(colour.green());
        row[3 * x + 2] = static_cast<char>(colour.red());
    }
    for (int y = 0; y < height; ++y) {
        out.append(row);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}
