#pragma once

#include <QImage>
#include <QSize>

namespace veltrano {

struct ChartFonts;
struct ChartLayout;

// The chart's background, drawn only on resize or a 3D switch: the gradient with the titles,
// the plot's faces and grid, and the axes with their labels. Opaque, at the device pixel
// ratio given.
QImage drawChartBackground(const ChartLayout& layout, const ChartFonts& fonts, QSize size, double ratio);

} // namespace veltrano
