// Writes small 24-bit BMP files for the desktop tests.
#pragma once

#include <QColor>
#include <QString>

// A width by height picture filled with colour, with a resolution of
// pixelsPerMetre both ways (0: none given). False when the file cannot be
// written.
bool writeBmp(const QString& path, int width, int height, QColor colour, int pixelsPerMetre);

// Pixels per metre for a resolution in dots per inch, as a BMP stores it.
int pixelsPerMetre(int dpi);
