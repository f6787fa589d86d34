#pragma once

#include <QIcon>
#include <QPixmap>

namespace veltrano {

// The program's pictures, drawn at run time; the same every time they are drawn.

// The window's background, 960 × 634: a processor package on a printed-circuit board.
QPixmap backgroundPicture();
// The chart legend's background, 960 × 640.
QPixmap legendPicture();
// The window icon, at 16, 24, 32, 48, 64, 128 and 256 pixels.
QIcon applicationIcon();

} // namespace veltrano
