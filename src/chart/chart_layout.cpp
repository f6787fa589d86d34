#include "chart/chart_layout.h"

#include "chart/chart_style.h"

#include <QFontMetricsF>
#include <QPolygonF>
#include <QString>

#include <algorithm>
#include <cmath>

namespace veltrano {

using namespace chart_style;

namespace {

// A whole number from 0 to 255, as the driver's values are.
bool isByte(double value) { return value >= 0.0 && value < 256.0 && value == double(int(value)); }

ChartProjection depthProjection(const QRectF& area, QRectF& bounds)
{
    // The back plane sits up and to the right of the front face and shrinks towards the
    // plot's middle; the box is then zoomed and moved by the vertical offset. The front face
    // is chosen so that the box in the end fills the area left by the titles and labels.
    ChartProjection frame;
    const double depth = area.width() * kDepthShare;
    frame.depth = true;
    frame.depthX = depth;
    frame.depthY = -depth * 0.62;
    // Perspective as a percentage: at 30 the back plane draws about 4 % nearer the middle.
    frame.perspective = kPerspective / 100.0 * 0.15;
    frame.zoom = kZoom;
    frame.shiftY = kVerticalOffset;
    frame.zoomCentre = area.center();
    frame.plot = area;
    auto boxBounds = [&frame] {
        const QRectF& plot = frame.plot;
        QPolygonF box;
        for (double z : {0.0, 1.0}) {
            box << frame.project(plot.left(), plot.top(), z) << frame.project(plot.right(), plot.top(), z)
                << frame.project(plot.right(), plot.bottom(), z) << frame.project(plot.left(), plot.bottom(), z);
        }
        return box.boundingRect();
    };
    for (int pass = 0; pass < 4; ++pass) {
        frame.vanishing = frame.plot.center();
        const QRectF box = boxBounds();
        QRectF& plot = frame.plot;
        plot.setLeft(plot.left() + (area.left() - box.left()) / kZoom);
        plot.setTop(plot.top() + (area.top() - box.top()) / kZoom);
        plot.setRight(plot.right() + (area.right() - box.right()) / kZoom);
        plot.setBottom(plot.bottom() + (area.bottom() - box.bottom()) / kZoom);
    }
    frame.vanishing = frame.plot.center();
    bounds = boxBounds();
    return frame;
}

} // namespace

ChartFonts ChartFonts::standard()
{
    ChartFonts fonts;
    fonts.title = pixelFont(QStringLiteral("Arial"), 13);
    fonts.subtitle = pixelFont(QStringLiteral("Arial"), 17, true);
    fonts.subFoot = pixelFont(QStringLiteral("Arial"), 19, true);
    fonts.axis = pixelFont(QStringLiteral("Arial"), 13);
    fonts.legendTitle = pixelFont(QStringLiteral("Arial"), 13, true);
    fonts.legendEntry = heaviestFont({"Arial Black", "Arial", "Liberation Sans", "DejaVu Sans", "FreeSans"}, 13, true);
    return fonts;
}

ChartLayout ChartLayout::compute(QSize size, bool view3D, int coveredBottom, const ChartFonts& fonts)
{
    ChartLayout layout;
    const QFontMetricsF titleMetrics(fonts.title), subtitleMetrics(fonts.subtitle);
    const QFontMetricsF subFootMetrics(fonts.subFoot);
    layout.labelFont = fonts.axis;
    if (view3D)
        layout.labelFont.setPixelSize(qRound(fonts.axis.pixelSize() * kTextZoom));
    const QFontMetricsF labelMetrics(layout.labelFont);
    layout.labelHeight = labelMetrics.height();

    const double top = kMargin + titleMetrics.height() + subtitleMetrics.height() + 10;
    // Below the bottom labels lies the empty sub-footer line or, when it reaches higher, the
    // strip that the window covers with other controls plus a margin.
    const double belowLabels = std::max(kMargin + subFootMetrics.height(), double(coveredBottom + kMargin));
    const double bottom = size.height() - belowLabels - labelMetrics.height() - kTickLength - 4;
    const double left = kMargin + labelMetrics.horizontalAdvance(QStringLiteral("329")) + kTickLength + 6;
    // In 3D the depth axis' labels stand to the right of the box.
    const double rightRoom = view3D ? labelMetrics.horizontalAdvance(QStringLiteral("-1.82")) + kTickLength + 4
                                    : labelMetrics.horizontalAdvance(QStringLiteral("0000")) / 2;
    const double right = size.width() - kMargin - rightRoom;
    const QRectF area(QPointF(left, top), QPointF(std::max(left + 1, right), std::max(top + 1, bottom)));
    if (view3D) {
        layout.frame = depthProjection(area, layout.clip);
    } else {
        layout.frame.plot = area;
        layout.clip = area;
    }

    // The bottom labels hang below the front bottom edge, which lies at one height in 2D
    // and 3D alike.
    const QRectF& plot = layout.frame.plot;
    const double labelTop = layout.frame.project(plot.left(), plot.bottom(), 0).y();
    const double labelBottom = labelTop + kTickLength + 1 + layout.labelHeight;
    const int rowTop = int(std::floor(labelTop)) - 2;
    const QRect chart(QPoint(), size);
    layout.labelRow = QRect(0, rowTop, size.width(), int(std::ceil(labelBottom)) + 2 - rowTop) & chart;
    layout.dynamicRect = (layout.clip.toAlignedRect().adjusted(-1, -1, 1, 1) | layout.labelRow) & chart;

    for (int s = 0; s < kSeries; ++s) {
        const double z = double(s) / kSeries;
        for (int value = 0; value < 256; ++value) {
            layout.byteRows[s][value] = view3D ? layout.frame.project(0.0, layout.mapY(value), z).y()
                                               : layout.mapY(value);
        }
    }
    return layout;
}

void ChartLayout::addLegend(const QRect& legend, QSize size)
{
    dynamicRect = (dynamicRect | legend) & QRect(QPoint(), size);
}

double ChartLayout::mapY(double y) const
{
    const QRectF& plot = frame.plot;
    const double mapped = plot.bottom() - (y - kLeftAxisMin) / (kLeftAxisMax - kLeftAxisMin) * plot.height();
    // Far-off values keep their direction without handing the rasteriser huge coordinates.
    return std::clamp(mapped, plot.top() - 4 * plot.height(), plot.bottom() + 4 * plot.height());
}

double ChartLayout::rowOf(int series, double y) const
{
    if (isByte(y))
        return byteRows[series][int(y)];
    return frame.depth ? frame.project(0.0, mapY(y), double(series) / kSeries).y() : mapY(y);
}

} // namespace veltrano
