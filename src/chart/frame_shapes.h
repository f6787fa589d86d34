#pragma once

#include "chart/series_buffer.h"

#include <QLineF>
#include <QPen>
#include <QPointF>
#include <QRgb>

#include <array>
#include <vector>

namespace veltrano {

class BottomAxisLabels;
class TraceRaster;
struct ChartLayout;

// The shapes of one frame in the chart's logical pixels: the bottom axis' grid lines and the
// traces (in 3D each with its ribbon and back edge). They are worked out from the points
// before the frame is painted, so that the paint and the reckoning of what it will cover in
// the window's backing store use the same shapes.
class FrameShapes {
public:
    static constexpr int kSeries = SeriesSet::kSeriesCount;

    // The shapes of data's points in layout; labels choose the grid's X values.
    void build(const SeriesSet& data, const ChartLayout& layout, const std::array<QPen, kSeries>& pens,
               BottomAxisLabels& labels, double increment);

    // False when no series holds a point: the frame is then the background and the legend.
    bool hasData() const { return hasData_; }
    double minX() const { return minX_; }
    double maxX() const { return maxX_; }
    const std::vector<double>& labelValues() const { return labels_; }

    void drawGrid(TraceRaster& raster) const;
    // In 2D in the series' order; in 3D series 0 is in front, drawn last.
    void drawTraces(TraceRaster& raster) const;

private:
    struct Stroke {
        std::vector<QPointF> points;
        double width = 1.0;
        QRgb colour = 0;
        bool flatEnds = false;
    };
    struct Trace {
        Stroke front, back; // back: the ribbon's back edge, 3D only
        QPointF depth; // the ribbon's sweep, 3D only
        QRgb ribbon = 0;
    };

    bool hasData_ = false;
    bool depth_ = false;
    double minX_ = 0.0, maxX_ = 1.0;
    std::vector<double> labels_;
    std::vector<QLineF> grid_;
    std::array<Trace, kSeries> traces_;
};

} // namespace veltrano
