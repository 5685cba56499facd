// File-name helpers of the desktop program.
#pragma once

#include <QString>

// The extension of the path's file name from its last dot on, dot included,
// upper-cased ("photo.jpeg" gives ".JPEG"); empty when the name has no dot.
QString upperExtension(const QString& path);
