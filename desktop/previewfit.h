// The size at which the preview shows an image of width by height pixels in
// a panel of panelWidth by panelHeight: at its own size when it fits, else
// shrunk, keeping its proportions, to 10 pixels less than the panel in the
// tighter direction. Never enlarged; never smaller than 1 by 1.
#pragma once

#include <QSize>

QSize previewSize(int width, int height, int panelWidth, int panelHeight);
