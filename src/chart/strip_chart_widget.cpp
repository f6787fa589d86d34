#include "chart/strip_chart_widget.h"

#include "chart/chart_style.h"
#include "chart/trace_raster.h"
#include "platform/units.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace veltrano {

using namespace chart_style;

StripChartWidget::StripChartWidget(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Disabled: a click on the chart is taken and does nothing, and never reaches the
    // controls that lie behind it.
    setEnabled(false);
    setFocusPolicy(Qt::NoFocus);
    repaintTimer_.setSingleShot(true);
    connect(&repaintTimer_, &QTimer::timeout, this, &StripChartWidget::repaintDynamic);
    resize(twipsToPixels(12015), twipsToPixels(9615));

    const struct {
        const char* title;
        QColor colour;
        int width;
        Qt::PenCapStyle cap;
    } series[SeriesSet::kSeriesCount] = {
        {"Data_0", QColor(255, 0, 0), 2, Qt::SquareCap},
        {"Data_1", QColor(128, 0, 255), 2, Qt::SquareCap},
        {"Data_2", QColor(255, 255, 0), 3, Qt::SquareCap},
        {"Data_3", QColor(255, 128, 255), 2, Qt::FlatCap},
    };
    for (int i = 0; i < SeriesSet::kSeriesCount; ++i) {
        titles_[i] = QString::fromLatin1(series[i].title);
        pens_[i] = QPen(series[i].colour, series[i].width, Qt::SolidLine, series[i].cap);
    }

    titleFont_ = pixelFont(QStringLiteral("Arial"), 13);
    subtitleFont_ = pixelFont(QStringLiteral("Arial"), 17, true);
    subFootFont_ = pixelFont(QStringLiteral("Arial"), 19, true);
    axisFont_ = pixelFont(QStringLiteral("Arial"), 13);
    legendTitleFont_ = pixelFont(QStringLiteral("Arial"), 13, true);
    legendEntryFont_ = heaviestFont({"Arial Black", "Arial", "Liberation Sans", "DejaVu Sans", "FreeSans"}, 13, true);
}

void StripChartWidget::setLegendPicture(const QPixmap& picture)
{
    legendArt_ = picture;
    staticDirty_ = true;
    scheduleRepaint();
}

StripChartWidget::~StripChartWidget() = default;

QString StripChartWidget::seriesTitle(int index) const
{
    data_.series(index); // range check
    return titles_[index];
}

QColor StripChartWidget::seriesColor(int index) const
{
    data_.series(index);
    return pens_[index].color();
}

void StripChartWidget::setTopMm(double top)
{
    move(x(), mmToPixels(top));
}

void StripChartWidget::setLeftMm(double left)
{
    move(mmToPixels(left), y());
}

void StripChartWidget::setVisible(bool visible)
{
    visibleSetting_ = visible;
    // Showing a parentless widget would open it as a window of its own; the setting is
    // applied when the window takes the chart (see event()).
    if (parentWidget() || !visible)
        QWidget::setVisible(visible);
}

bool StripChartWidget::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange && parentWidget())
        QWidget::setVisible(visibleSetting_);
    return QWidget::event(event);
}

void StripChartWidget::deleteFirst(int series)
{
    data_.deleteFirst(series);
    scheduleRepaint();
}

int StripChartWidget::addY(int series, double y, const QString&, unsigned)
{
    const int index = data_.addY(series, y);
    scheduleRepaint();
    return index;
}

int StripChartWidget::addXY(int series, double x, double y, const QString&, unsigned)
{
    const int index = data_.addXY(series, x, y);
    scheduleRepaint();
    return index;
}

void StripChartWidget::setView3D(bool on)
{
    if (on == view3D_)
        return;
    view3D_ = on;
    staticDirty_ = true;
    update();
}

void StripChartWidget::setCoveredBottom(int pixels)
{
    pixels = std::max(pixels, 0);
    if (pixels == coveredBottom_)
        return;
    coveredBottom_ = pixels;
    staticDirty_ = true;
    update();
}

void StripChartWidget::setBottomAxisIncrement(double increment)
{
    bottomIncrement_ = increment;
    scheduleRepaint();
}

void StripChartWidget::scheduleRepaint()
{
    // A data call never paints by itself. Paints come at most once per kMinFrameMs: the
    // chart moves by whole ticks, and a full frame costs more than the tick that feeds it.
    if (repaintTimer_.isActive())
        return;
    const qint64 since = lastPaint_.isValid() ? lastPaint_.elapsed() : kMinFrameMs;
    if (since >= kMinFrameMs)
        repaintDynamic();
    else
        repaintTimer_.start(int(kMinFrameMs - since));
}

void StripChartWidget::repaintDynamic()
{
    // New points change only the plot and the bottom labels; repainting just those keeps
    // the controls standing over the rest of the chart from being redrawn with every frame.
    // Until the static layers are rebuilt, the area is not known: repaint everything.
    if (staticDirty_ || dynamicRect_.isEmpty())
        update();
    else
        update(dynamicRect_);
}

void StripChartWidget::resizeEvent(QResizeEvent* event)
{
    staticDirty_ = true;
    QWidget::resizeEvent(event);
}

// ---------------------------------------------------------------------------------------
// Layout and the static layers: the background (background_layer.cpp) and the legend

void StripChartWidget::rebuildStatic()
{
    staticDirty_ = false;
    if (width() <= 0 || height() <= 0) {
        background_ = QImage();
        return;
    }
    layoutFrame();
    const double ratio = devicePixelRatioF();
    background_ = QImage(size() * ratio, QImage::Format_RGB32); // opaque: blits without blending
    background_.setDevicePixelRatio(ratio);
    {
        QPainter painter(&background_);
        drawStaticBackground(painter);
        drawStaticAxes(painter);
    }
    std::array<LegendEntry, SeriesSet::kSeriesCount> entries;
    for (int i = 0; i < SeriesSet::kSeriesCount; ++i)
        entries[i] = {titles_[i], pens_[i]};
    legend_ = buildLegend(entries, legendTitleFont_, legendEntryFont_, legendArt_, clip_, ratio);

    // The bottom labels hang below the front bottom edge, which lies at one height in 2D
    // and 3D alike; their texts may run past the plot's ends, so the row spans the width.
    const QRectF& plot = frame_.plot;
    const double labelTop = frame_.project(plot.left(), plot.bottom(), 0).y();
    const double labelBottom = labelTop + kTickLength + 1 + QFontMetricsF(labelFont_).height();
    const int rowTop = int(std::floor(labelTop)) - 2;
    const QRect labelRow(0, rowTop, width(), int(std::ceil(labelBottom)) + 2 - rowTop);
    const QRect legendRect(legend_.position, legend_.image.deviceIndependentSize().toSize());
    dynamicRect_ = (clip_.toAlignedRect().adjusted(-1, -1, 1, 1) | labelRow | legendRect) & rect();
    frameStale_ = true;
}

void StripChartWidget::layoutFrame()
{
    const QFontMetricsF titleMetrics(titleFont_), subtitleMetrics(subtitleFont_);
    const QFontMetricsF subFootMetrics(subFootFont_);
    labelFont_ = axisFont_;
    if (view3D_)
        labelFont_.setPixelSize(qRound(axisFont_.pixelSize() * kTextZoom));
    const QFontMetricsF labelMetrics(labelFont_);

    const double top = kMargin + titleMetrics.height() + subtitleMetrics.height() + 10;
    // Below the bottom labels lies the empty sub-footer line or, when it reaches higher, the
    // strip that the window covers with other controls plus a margin.
    const double belowLabels = std::max(kMargin + subFootMetrics.height(), double(coveredBottom_ + kMargin));
    const double bottom = height() - belowLabels - labelMetrics.height() - kTickLength - 4;
    const double left = kMargin + labelMetrics.horizontalAdvance(QStringLiteral("329")) + kTickLength + 6;
    // In 3D the depth axis' labels stand to the right of the box.
    const double rightRoom = view3D_ ? labelMetrics.horizontalAdvance(QStringLiteral("-1.82")) + kTickLength + 4
                                     : labelMetrics.horizontalAdvance(QStringLiteral("0000")) / 2;
    const double right = width() - kMargin - rightRoom;
    const QRectF area(QPointF(left, top), QPointF(std::max(left + 1, right), std::max(top + 1, bottom)));

    frame_ = Frame{};
    if (!view3D_) {
        frame_.plot = area;
        clip_ = area;
        return;
    }

    // The back plane sits up and to the right of the front face and shrinks towards the
    // plot's middle; the box is then zoomed and moved by the vertical offset. The front face
    // is chosen so that the box in the end fills the area left by the titles and labels.
    const double depth = area.width() * kDepthShare;
    frame_.depth = true;
    frame_.depthX = depth;
    frame_.depthY = -depth * 0.62;
    // Perspective as a percentage: at 30 the back plane draws about 4 % nearer the middle.
    frame_.perspective = kPerspective / 100.0 * 0.15;
    frame_.zoom = kZoom;
    frame_.shiftY = kVerticalOffset;
    frame_.zoomCentre = area.center();
    frame_.plot = area;
    auto boxBounds = [this] {
        const QRectF& plot = frame_.plot;
        QPolygonF box;
        for (double z : {0.0, 1.0}) {
            box << frame_.project(plot.left(), plot.top(), z) << frame_.project(plot.right(), plot.top(), z)
                << frame_.project(plot.right(), plot.bottom(), z) << frame_.project(plot.left(), plot.bottom(), z);
        }
        return box.boundingRect();
    };
    for (int pass = 0; pass < 4; ++pass) {
        frame_.vanishing = frame_.plot.center();
        const QRectF bounds = boxBounds();
        QRectF& plot = frame_.plot;
        plot.setLeft(plot.left() + (area.left() - bounds.left()) / kZoom);
        plot.setTop(plot.top() + (area.top() - bounds.top()) / kZoom);
        plot.setRight(plot.right() + (area.right() - bounds.right()) / kZoom);
        plot.setBottom(plot.bottom() + (area.bottom() - bounds.bottom()) / kZoom);
    }
    frame_.vanishing = frame_.plot.center();
    clip_ = boxBounds();
}

double StripChartWidget::mapY(double y) const
{
    const QRectF& plot = frame_.plot;
    const double mapped = plot.bottom() - (y - kLeftAxisMin) / (kLeftAxisMax - kLeftAxisMin) * plot.height();
    // Far-off values keep their direction without handing the rasteriser huge coordinates.
    return std::clamp(mapped, plot.top() - 4 * plot.height(), plot.bottom() + 4 * plot.height());
}

void StripChartWidget::paintEvent(QPaintEvent* event)
{
    lastPaint_.start();
    const double ratio = devicePixelRatioF();
    if (staticDirty_ || background_.size() != size() * ratio || background_.devicePixelRatio() != ratio)
        rebuildStatic();
    if (background_.isNull())
        return;

    if (frameImage_.size() != background_.size() || frameImage_.format() != background_.format()) {
        frameImage_ = QImage(background_.size(), background_.format());
        frameImage_.setDevicePixelRatio(ratio);
        frameStale_ = true;
    }
    if (frameStale_) {
        std::memcpy(frameImage_.bits(), background_.constBits(), size_t(background_.sizeInBytes()));
        frameStale_ = false;
    } else {
        // Only the dynamic rows were drawn over since the last paint.
        const int top = std::clamp(int(std::floor(dynamicRect_.top() * ratio)), 0, background_.height());
        const int bottom = std::clamp(int(std::ceil((dynamicRect_.bottom() + 1) * ratio)), top, background_.height());
        const qsizetype stride = background_.bytesPerLine();
        std::memcpy(frameImage_.scanLine(top), background_.constScanLine(top), size_t(stride * (bottom - top)));
    }

    double minX = 0.0, maxX = 1.0;
    if (data_.xRange(minX, maxX)) {
        if (maxX - minX <= 0.0) {
            minX -= 0.5;
            maxX += 0.5;
        }
        const std::vector<double> labels = bottomLabels(minX, maxX);
        drawBottomGrid(labels, minX, maxX);
        {
            QPainter painter(&frameImage_);
            drawBottomLabels(painter, labels, minX, maxX);
        }
        if (view3D_)
            drawSeries3D(minX, maxX);
        else
            drawSeries2D(minX, maxX);
    }
    {
        QPainter painter(&frameImage_);
        painter.drawImage(legend_.position, legend_.image);
    }

    QPainter painter(this);
    if (ratio != 1.0) {
        painter.drawImage(0, 0, frameImage_);
        return;
    }
    // Only the event's area, in bands: Qt hands a large image blit to its worker threads,
    // and the handoffs cost more than the copy itself.
    const QRect area = event->rect() & rect();
    for (int y = area.top(); y <= area.bottom(); y += kBlitBand) {
        const QRect band(area.left(), y, area.width(), std::min(kBlitBand, area.bottom() + 1 - y));
        painter.drawImage(band.topLeft(), frameImage_, band);
    }
}

std::vector<double> StripChartWidget::bottomLabels(double minX, double maxX) const
{
    const QFontMetricsF metrics(labelFont_);
    const double widest = std::max(metrics.horizontalAdvance(labelText(minX)), metrics.horizontalAdvance(labelText(maxX)));
    const double increment = std::isfinite(bottomIncrement_) && bottomIncrement_ > 1.0 ? bottomIncrement_ : 1.0;
    const double step = labelStep(maxX - minX, frame_.plot.width(), widest + 12, increment);
    return labelValues(minX, maxX, step);
}

void StripChartWidget::drawBottomGrid(const std::vector<double>& labels, double minX, double maxX)
{
    const Frame& f = frame_;
    const QRectF& plot = f.plot;
    const double scale = plot.width() / (maxX - minX);
    // Translucent lines through QPainter cost about 0.1 ms each here; the raster blends them.
    TraceRaster raster(frameImage_, clip_);
    const QRgb grid = kGrid.rgba();
    for (double value : labels) {
        const double x = std::round(plot.left() + (value - minX) * scale);
        if (f.depth) {
            const QPointF floor[2] = {f.project(x, plot.bottom(), 0), f.project(x, plot.bottom(), 1)};
            const QPointF wall[2] = {floor[1], f.project(x, plot.top(), 1)};
            raster.line(floor, 2, 1.0, grid, true);
            raster.line(wall, 2, 1.0, grid, false);
        } else {
            const QPointF line[2] = {{x, plot.top()}, {x, plot.bottom()}};
            raster.line(line, 2, 1.0, grid, false);
        }
    }
}

void StripChartWidget::drawBottomLabels(QPainter& painter, const std::vector<double>& labels, double minX, double maxX)
{
    const Frame& f = frame_;
    const QRectF& plot = f.plot;
    const double scale = plot.width() / (maxX - minX);
    const double height = QFontMetricsF(labelFont_).height();
    painter.setPen(kText);
    painter.setFont(labelFont_);
    for (double value : labels) {
        const QPointF at = f.project(plot.left() + (value - minX) * scale, plot.bottom(), 0);
        painter.drawLine(at, at + QPointF(0, kTickLength));
        painter.drawText(QRectF(at.x() - 50, at.y() + kTickLength + 1, 100, height), Qt::AlignHCenter | Qt::AlignTop,
                         labelText(value));
    }
}

void StripChartWidget::drawSeries2D(double minX, double maxX)
{
    const QRectF& plot = frame_.plot;
    const double scale = plot.width() / (maxX - minX);
    TraceRaster raster(frameImage_, clip_);
    for (int s = 0; s < SeriesSet::kSeriesCount; ++s) {
        const SeriesBuffer& points = data_.series(s);
        const int n = points.size();
        line_.resize(n);
        QPointF* out = line_.data();
        for (int i = 0; i < n; ++i) {
            const ChartPoint& p = points[i];
            out[i] = QPointF(plot.left() + (p.x - minX) * scale, mapY(p.y));
        }
        raster.line(out, n, pens_[s].widthF(), pens_[s].color().rgb(), pens_[s].capStyle() == Qt::FlatCap);
    }
}

void StripChartWidget::drawSeries3D(double minX, double maxX)
{
    const Frame& f = frame_;
    const QRectF& plot = f.plot;
    const double scale = plot.width() / (maxX - minX);
    constexpr int count = SeriesSet::kSeriesCount;
    TraceRaster raster(frameImage_, clip_);
    // Series 0 is in front: paint from the back slot forwards.
    for (int s = count - 1; s >= 0; --s) {
        const SeriesBuffer& points = data_.series(s);
        const int n = points.size();
        const double zFront = double(s) / count, zBack = double(s + 1) / count;
        // The slot's front edge is in perspective at its depth; the ribbon runs back from it
        // by the slot's depth as seen at the middle of the plot.
        const QPointF middle = plot.center();
        const QPointF depth = f.project(middle.x(), middle.y(), zBack) - f.project(middle.x(), middle.y(), zFront);
        line_.resize(n);
        back_.resize(n);
        QPointF* front = line_.data();
        QPointF* back = back_.data();
        for (int i = 0; i < n; ++i) {
            const ChartPoint& p = points[i];
            front[i] = f.project(plot.left() + (p.x - minX) * scale, mapY(p.y), zFront);
            back[i] = front[i] + depth;
        }

        const QColor colour = pens_[s].color();
        raster.ribbon(front, n, depth, colour.darker(170).rgb());
        raster.line(back, n, 1.0, colour.darker(120).rgb(), false);
        raster.line(front, n, pens_[s].widthF(), colour.rgb(), pens_[s].capStyle() == Qt::FlatCap);
    }
}

} // namespace veltrano
