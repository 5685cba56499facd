// The program's own pictures, drawn with QPainter: the four tool-bar
// pictures (open, clear, create PDF, about), the maker's logo for the about
// window and the window icon. The tool-bar pictures come from the desktop's
// icon theme when it has them.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace pictures {

enum class Tool { Open = 0, Clear = 1, CreatePdf = 2, About = 3 };

QIcon toolIcon(Tool tool);
// The logo, 200 by 59 pixels.
QPixmap logo();
QIcon appIcon();

} // namespace pictures
