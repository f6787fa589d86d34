#pragma once

#include <QRect>
#include <QSize>
#include <QtMath>

namespace veltrano {

// The window is laid out in twips (1/1440 inch) and moved in millimetres; the screen
// is taken at 96 dots per inch, where one pixel is 15 twips.
inline constexpr double kTwipsPerPixel = 15.0;
inline constexpr double kTwipsPerMm = 1440.0 / 25.4;

// Window sizes are outer sizes; the client area is that less a nominal frame.
inline constexpr QSize kNominalFrame{8, 27};

inline int twipsToPixels(double twips) { return qRound(twips / kTwipsPerPixel); }
inline int mmToPixels(double mm) { return twipsToPixels(mm * kTwipsPerMm); }
inline QRect twipsRect(int left, int top, int width, int height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

} // namespace veltrano
