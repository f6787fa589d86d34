#pragma once

#include <QFont>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>

#include <array>

namespace veltrano {

// Where the plot sits; in 3D, the front face and the oblique projection of depth.
struct ChartProjection {
    QRectF plot;
    bool depth = false;
    double depthX = 0.0, depthY = 0.0; // screen offset of the back plane before perspective
    double perspective = 0.0;
    QPointF vanishing;
    double zoom = 1.0;
    QPointF zoomCentre;
    double shiftY = 0.0;

    // The point at (x, y) on the front face moved back to depth z (0 front, 1 back).
    QPointF project(double x, double y, double z) const
    {
        if (!depth)
            return {x, y};
        const double s = 1.0 / (1.0 + perspective * z);
        const double px = vanishing.x() + (x - vanishing.x()) * s + z * depthX;
        const double py = vanishing.y() + (y - vanishing.y()) * s + z * depthY;
        return {zoomCentre.x() + (px - zoomCentre.x()) * zoom, zoomCentre.y() + (py - zoomCentre.y()) * zoom + shiftY};
    }
};

// The chart's fonts, chosen once.
struct ChartFonts {
    QFont title, subtitle, subFoot, axis, legendTitle, legendEntry;
    static ChartFonts standard();
};

// The chart's geometry for one size, view and covered strip, worked out whole whenever one of
// them changes, in the chart's logical pixels.
struct ChartLayout {
    static constexpr int kSeries = 4;
    static constexpr double kLeftAxisMin = -2.2335;
    static constexpr double kLeftAxisMax = 329.004;

    ChartProjection frame;
    // Where the traces may draw: the plot, or in 3D the box's bounds.
    QRectF clip;
    QFont labelFont; // the axis labels' font at the view's text zoom
    double labelHeight = 0.0;
    // The bottom labels and their ticks, across the chart's width: the texts may run past
    // the plot's ends.
    QRect labelRow;
    // What a frame can change: the plot with the legend over it and the label row.
    // Everything else is the background.
    QRect dynamicRect;
    // Per series, the row of a point of Y 0, 1 .. 255, where the driver's values land.
    std::array<std::array<double, 256>, kSeries> byteRows{};

    static ChartLayout compute(QSize size, bool view3D, int coveredBottom, const ChartFonts& fonts);
    // Adds the legend's box (it lies over the plot) to what a frame can change.
    void addLegend(const QRect& legend, QSize size);
    // The row of Y on the front face, kept within a few plot heights.
    double mapY(double y) const;
    // The row of series' point of Y on its own depth; exact for byte values.
    double rowOf(int series, double y) const;
};

} // namespace veltrano
