#include "chart/frame_shapes.h"

#include "chart/axis_labels.h"
#include "chart/chart_layout.h"
#include "chart/chart_style.h"
#include "chart/trace_raster.h"

#include <algorithm>
#include <cmath>

namespace veltrano {

using namespace chart_style;

void FrameShapes::build(const SeriesSet& data, const ChartLayout& layout, const std::array<QPen, kSeries>& pens,
                        BottomAxisLabels& labels, double increment)
{
    grid_.clear();
    labels_.clear();
    for (Trace& trace : traces_) {
        trace.front.points.clear();
        trace.back.points.clear();
    }
    hasData_ = data.xRange(minX_, maxX_);
    if (!hasData_)
        return;
    if (maxX_ - minX_ <= 0.0) {
        minX_ -= 0.5;
        maxX_ += 0.5;
    }
    const ChartProjection& f = layout.frame;
    const QRectF& plot = f.plot;
    depth_ = f.depth;
    const double scale = plot.width() / (maxX_ - minX_);
    labels_ = labels.values(minX_, maxX_, plot.width(), increment);

    for (double value : labels_) {
        const double x = std::round(plot.left() + (value - minX_) * scale);
        if (f.depth) {
            const QPointF floorBack = f.project(x, plot.bottom(), 1);
            grid_.emplace_back(f.project(x, plot.bottom(), 0), floorBack);
            grid_.emplace_back(floorBack, f.project(x, plot.top(), 1));
        } else {
            grid_.emplace_back(x, plot.top(), x, plot.bottom());
        }
    }

    for (int s = 0; s < kSeries; ++s) {
        const SeriesBuffer& points = data.series(s);
        const int n = points.size();
        Trace& trace = traces_[s];
        const QColor colour = pens[s].color();
        trace.front.width = pens[s].widthF();
        trace.front.colour = colour.rgb();
        trace.front.flatEnds = pens[s].capStyle() == Qt::FlatCap;
        trace.front.points.resize(n);
        QPointF* front = trace.front.points.data();
        if (!f.depth) {
            for (int i = 0; i < n; ++i) {
                const ChartPoint& p = points[i];
                front[i] = QPointF(plot.left() + (p.x - minX_) * scale, layout.rowOf(s, p.y));
            }
            continue;
        }
        // The slot's front edge is in perspective at its depth; the ribbon runs back from it
        // by the slot's depth as seen at the middle of the plot. X and Y project independently
        // of each other.
        const double zFront = double(s) / kSeries, zBack = double(s + 1) / kSeries;
        const QPointF middle = plot.center();
        trace.depth = f.project(middle.x(), middle.y(), zBack) - f.project(middle.x(), middle.y(), zFront);
        trace.ribbon = colour.darker(170).rgb();
        trace.back.width = 1.0;
        trace.back.colour = colour.darker(120).rgb();
        trace.back.flatEnds = false;
        trace.back.points.resize(n);
        QPointF* back = trace.back.points.data();
        for (int i = 0; i < n; ++i) {
            const ChartPoint& p = points[i];
            const double x = plot.left() + (p.x - minX_) * scale;
            front[i] = QPointF(f.project(x, 0.0, zFront).x(), layout.rowOf(s, p.y));
            back[i] = front[i] + trace.depth;
        }
    }
}

void FrameShapes::drawGrid(TraceRaster& raster) const
{
    // Translucent lines through QPainter cost about 0.1 ms each here; the raster blends them.
    const QRgb grid = kGrid.rgba();
    for (std::size_t i = 0; i < grid_.size(); ++i) {
        const QPointF line[2] = {grid_[i].p1(), grid_[i].p2()};
        // In 3D the floor's lines (even) run forwards, and stop at their ends.
        raster.line(line, 2, 1.0, grid, depth_ && i % 2 == 0);
    }
}

void FrameShapes::drawTraces(TraceRaster& raster) const
{
    auto stroke = [&raster](const Stroke& s) {
        raster.line(s.points.data(), int(s.points.size()), s.width, s.colour, s.flatEnds);
    };
    if (!depth_) {
        for (const Trace& trace : traces_)
            stroke(trace.front);
        return;
    }
    for (int s = kSeries - 1; s >= 0; --s) {
        const Trace& trace = traces_[s];
        raster.ribbon(trace.front.points.data(), int(trace.front.points.size()), trace.depth, trace.ribbon);
        stroke(trace.back);
        stroke(trace.front);
    }
}

} // namespace veltrano
