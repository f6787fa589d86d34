#pragma once

#include <QImage>
#include <QPen>
#include <QPoint>
#include <QString>

#include <span>

class QFont;
class QPixmap;
class QRectF;

namespace veltrano {

// What the legend shows of one series: its title, and the pen its trace is drawn with.
struct LegendEntry {
    QString title;
    QPen pen;
};

// The legend box, drawn once and laid over the plot on every frame.
struct Legend {
    QImage image; // at the device pixel ratio it was drawn for
    QPoint position; // its top left corner on the chart, in logical pixels
};

// The legend for the entries, one row each under a heading, over the picture (scaled to
// the box; none when null), set in the top right corner of area. ratio is the device pixel
// ratio of the surface it is drawn onto.
Legend buildLegend(std::span<const LegendEntry> entries, const QFont& titleFont, const QFont& entryFont,
                   const QPixmap& picture, const QRectF& area, double ratio);

} // namespace veltrano
