#include "chart/strip_chart_widget.h"

#include "chart/background_layer.h"
#include "chart/chart_style.h"
#include "platform/control_error.h"
#include "platform/units.h"

#include <QBackingStore>
#include <QEvent>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScopedValueRollback>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace veltrano {

using namespace chart_style;

namespace {

// Whether every pixel of a 32-bit image is opaque, so that copying it equals drawing it.
bool isOpaque(const QImage& image)
{
    if (image.format() == QImage::Format_RGB32)
        return true;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        return false;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        if (!std::all_of(line, line + image.width(), [](QRgb pixel) { return qAlpha(pixel) == 255; }))
            return false;
    }
    return true;
}

} // namespace

StripChartWidget::StripChartWidget(QWidget* parent) : QWidget(parent), RefreshClient(Stage::Paint)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Disabled: a click on the chart is taken and does nothing, and never reaches the
    // controls that lie behind it.
    setEnabled(false);
    setFocusPolicy(Qt::NoFocus);
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

    fonts_ = ChartFonts::standard();
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

void StripChartWidget::setTopMm(double top) { move(x(), mmToPixels(top)); }

void StripChartWidget::setLeftMm(double left) { move(mmToPixels(left), y()); }

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

const ChartPoint& StripChartWidget::point(int series, int index) const
{
    const SeriesBuffer& points = data_.series(series);
    if (index < 0 || index >= points.size())
        throw ControlError("point index out of range");
    return points[index];
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
    // A data call never paints by itself: the chart moves by whole ticks, a frame costs
    // more than the tick that feeds it, and the text boxes catch up on the same clock.
    requestRefresh();
}

void StripChartWidget::catchUp()
{
    // New points change only the plot and the bottom labels; repainting just those keeps
    // the controls standing over the rest of the chart from being redrawn with every frame.
    // Until the static layers are rebuilt, the area is not known: repaint everything.
    // The repaint is done at once, so that it takes along what the text boxes changed in
    // the same catch-up, in one pass over the window.
    if (staticDirty_ || layout_.dynamicRect.isEmpty()) {
        update();
        return;
    }
    if (!isVisible())
        return;
    const QScopedValueRollback catchingUp(catchingUp_, true);
    repaint(layout_.dynamicRect);
}

void StripChartWidget::resizeEvent(QResizeEvent* event)
{
    staticDirty_ = true;
    QWidget::resizeEvent(event);
}

// ---------------------------------------------------------------------------------------
// The static layers: background (background_layer.cpp) and legend

void StripChartWidget::rebuildStatic()
{
    staticDirty_ = false;
    damage_.forget();
    frameStale_ = true;
    if (width() <= 0 || height() <= 0) {
        background_ = QImage();
        return;
    }
    const double ratio = devicePixelRatioF();
    layout_ = ChartLayout::compute(size(), view3D_, coveredBottom_, fonts_);
    background_ = drawChartBackground(layout_, fonts_, size(), ratio);
    std::array<LegendEntry, SeriesSet::kSeriesCount> entries;
    for (int i = 0; i < SeriesSet::kSeriesCount; ++i)
        entries[i] = {titles_[i], pens_[i]};
    legend_ = buildLegend(entries, fonts_.legendTitle, fonts_.legendEntry, legendArt_, layout_.clip, ratio);
    legendOpaque_ = isOpaque(legend_.image);
    layout_.addLegend(QRect(legend_.position, legend_.image.deviceIndependentSize().toSize()), size());
    labels_.setFont(layout_.labelFont, layout_.labelHeight);
}

// ---------------------------------------------------------------------------------------
// Painting

void StripChartWidget::paintEvent(QPaintEvent* event)
{
    const double ratio = devicePixelRatioF();
    if (staticDirty_ || background_.size() != size() * ratio || background_.devicePixelRatio() != ratio)
        rebuildStatic();
    if (background_.isNull())
        return;

    QPainter painter(this);
    QPoint origin;
    if (QImage* store = backingStoreImage(painter, origin))
        paintIntoStore(painter, *store, origin, event->region());
    else
        paintThroughImage(painter, event->rect() & rect());
}

void StripChartWidget::paintIntoStore(QPainter& painter, QImage& store, QPoint origin, const QRegion& region)
{
    // The event's area gets the background and the frame over it. Nothing outside the area
    // is touched, as the painter's own clip does for its drawing. Under display scaling the
    // area in the store's pixels is the clip Qt set for this paint. What the painter draws
    // (labels, the legend) lands where it would in the frame image, on the chart's rounded
    // place.
    const double ratio = devicePixelRatioF();
    const QPointF place = QPointF(mapTo(window(), QPoint())) * ratio;
    if (QPointF(origin) != place)
        painter.translate((QPointF(origin) - place) / ratio);
    const QRect visible = QRect(QPoint(), background_.size()) & store.rect().translated(-origin);
    const QRegion device = ratio == 1.0 ? region : deviceRegion(painter, region, origin);
    if (ratio != 1.0)
        extendEdges(store, origin, device);
    areas_.clear();
    for (const QRect& part : device) {
        const QRect area = part & visible;
        if (!area.isEmpty())
            areas_.push_back(area);
    }
    wholeRects(whole_);
    damage_.restore(store, origin, background_, areas_, catchingUp_, whole_, toDevice(layout_.dynamicRect) & visible);
    raster_.keepDrawn(damage_.keepsDrawn());
    drawFrame(painter, store, origin);
    raster_.takeDrawn(recorded_);
    damage_.frameDrawn(recorded_);
}

void StripChartWidget::paintThroughImage(QPainter& painter, const QRect& area)
{
    // Anywhere else (a grab, another device pixel ratio): into the frame image, then onto
    // the device. What is left in the window's store is not known from here on.
    damage_.forget();
    const double ratio = devicePixelRatioF();
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
        const QRect& dynamic = layout_.dynamicRect;
        const int top = std::clamp(int(std::floor(dynamic.top() * ratio)), 0, background_.height());
        const int bottom = std::clamp(int(std::ceil((dynamic.bottom() + 1) * ratio)), top, background_.height());
        const qsizetype stride = background_.bytesPerLine();
        std::memcpy(frameImage_.scanLine(top), background_.constScanLine(top), size_t(stride * (bottom - top)));
    }
    areas_.assign(1, frameImage_.rect());
    raster_.keepDrawn(false);
    {
        QPainter framePainter(&frameImage_);
        drawFrame(framePainter, frameImage_, QPoint());
    }

    const QTransform device = painter.deviceTransform();
    if (ratio != 1.0 && (device.type() > QTransform::TxScale || device.m11() != ratio || device.m22() != ratio)) {
        painter.drawImage(0, 0, frameImage_); // onto a device of another scale
        return;
    }
    if (ratio != 1.0) {
        // Pixel for pixel at the chart's place rounded, as the backing store path puts it:
        // Qt's own blit of a scaled image at a place between pixels stretches it by one.
        const QPointF place = device.map(QPointF());
        // The world transform for which the whole mapping is that translation alone.
        painter.setWorldTransform(QTransform::fromTranslate(qRound(place.x()), qRound(place.y())) * device.inverted()
                                  * painter.worldTransform());
        frameImage_.setDevicePixelRatio(1.0);
        painter.drawImage(0, 0, frameImage_);
        // A place between pixels leaves the chart's extent a pixel more on a side than the
        // image: the image's edge again there (the painter's clip keeps it inside the chart).
        const int w = frameImage_.width(), h = frameImage_.height();
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const QRect edge(dx > 0 ? w - 1 : 0, dy > 0 ? h - 1 : 0, dx ? 1 : w, dy ? 1 : h);
                if (dx || dy)
                    painter.drawImage(QPoint(dx < 0 ? -1 : dx * w, dy < 0 ? -1 : dy * h), frameImage_, edge);
            }
        }
        frameImage_.setDevicePixelRatio(ratio);
        return;
    }
    // Only the event's area, in bands: Qt hands a large image blit to its worker threads,
    // and the handoffs cost more than the copy itself.
    for (int y = area.top(); y <= area.bottom(); y += kBlitBand) {
        const QRect band(area.left(), y, area.width(), std::min(kBlitBand, area.bottom() + 1 - y));
        painter.drawImage(band.topLeft(), frameImage_, band);
    }
}

QImage* StripChartWidget::backingStoreImage(const QPainter& painter, QPoint& origin) const
{
    // The painter goes to the backing store of the window when Qt paints the window, and
    // to another device for grab() and render(). Only a plain image of opaque 32-bit
    // pixels at this chart's scale takes the background's pixels as they are.
    QWidget* top = window();
    QBackingStore* store = top->backingStore();
    if (!store || !painter.isActive())
        return nullptr;
    QPaintDevice* device = store->paintDevice();
    if (!device || device != painter.paintEngine()->paintDevice() || device->devType() != QInternal::Image)
        return nullptr;
    auto* image = static_cast<QImage*>(device);
    const double ratio = devicePixelRatioF();
    if ((image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32_Premultiplied)
        || image->devicePixelRatio() != ratio || !image->isDetached())
        return nullptr;
    // The painter's only transformation is the display's scale and the chart's place in the
    // window. Under scaling that place may fall between pixels of the store: the chart's
    // pixels go where Qt's own blit of a scaled image puts them, at the place rounded.
    const QPointF at = QPointF(mapTo(top, QPoint())) * ratio;
    const QTransform& transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxScale || transform.m11() != ratio || transform.m22() != ratio
        || transform.dx() != at.x() || transform.dy() != at.y())
        return nullptr;
    origin = QPoint(qRound(at.x()), qRound(at.y()));
    return image;
}

QRegion StripChartWidget::deviceRegion(QPainter& painter, const QRegion& region, QPoint origin) const
{
    // The clip Qt painted this widget through, in the store's pixels, when it set one.
    const QRegion clip = painter.paintEngine()->systemClip();
    if (!clip.isEmpty())
        return clip.translated(-origin);
    const double ratio = devicePixelRatioF();
    QRegion scaled;
    for (const QRect& rect : region)
        scaled += QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio).toAlignedRect();
    return scaled;
}

void StripChartWidget::extendEdges(QImage& store, QPoint origin, const QRegion& region) const
{
    const int width = background_.width(), height = background_.height();
    const QRect image(0, 0, width, height);
    const QRect inStore = store.rect().translated(-origin);
    for (const QRect& rect : region) {
        const QRect part = rect & inStore;
        if (image.contains(part))
            continue;
        for (int y = part.top(); y <= part.bottom(); ++y) {
            const auto* from = reinterpret_cast<const QRgb*>(background_.constScanLine(std::clamp(y, 0, height - 1)));
            auto* into = reinterpret_cast<QRgb*>(store.scanLine(y + origin.y())) + origin.x();
            for (int x = part.left(); x <= part.right(); ++x) {
                if (!image.contains(x, y))
                    into[x] = from[std::clamp(x, 0, width - 1)];
            }
        }
    }
}

QRect StripChartWidget::toDevice(const QRect& rect) const
{
    const double ratio = devicePixelRatioF();
    if (ratio == 1.0)
        return rect;
    return QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio).toAlignedRect();
}

void StripChartWidget::wholeRects(std::vector<QRect>& rects) const
{
    const double ratio = devicePixelRatioF();
    rects.assign(1, toDevice(layout_.labelRow));
    if (!legendOpaque_)
        rects.push_back(toDevice(QRect(legend_.position, legend_.image.deviceIndependentSize().toSize())));
    for (const QWidget* level = this; level && !level->isWindow(); level = level->parentWidget()) {
        const QObjectList& siblings = level->parentWidget()->children();
        for (qsizetype i = siblings.indexOf(const_cast<QWidget*>(level)) + 1; i < siblings.size(); ++i) {
            if (!siblings[i]->isWidgetType()) // a flag test, where a cast would look up the class
                continue;
            const auto* over = static_cast<const QWidget*>(siblings[i]);
            if (over->isVisible() && !over->isWindow()) {
                const QRect rect(mapFrom(level->parentWidget(), over->pos()), over->size());
                // A pixel more on every side: the widget's place in the store is rounded
                // on its own, not with the chart's.
                if (rect.intersects(layout_.dynamicRect))
                    rects.push_back(ratio == 1.0 ? rect : toDevice(rect).adjusted(-1, -1, 1, 1));
            }
        }
    }
}

void StripChartWidget::drawFrame(QPainter& painter, QImage& image, QPoint origin)
{
    raster_.aim(image, origin, layout_.clip, areas_);
    shapes_.build(data_, layout_, pens_, labels_, bottomIncrement_);
    if (shapes_.hasData()) {
        shapes_.drawGrid(raster_);
        labels_.draw(painter, layout_.frame, shapes_.minX(), shapes_.maxX(), shapes_.labelValues());
        shapes_.drawTraces(raster_);
    }
    // The legend is opaque: its rows are copied as they are, which is what drawImage()
    // would do, without Qt handing the blit to its worker threads.
    if (!legendOpaque_ || image.devicePixelRatio() != 1.0) {
        painter.drawImage(legend_.position, legend_.image);
        return;
    }
    const QRect legend(legend_.position, legend_.image.size());
    for (const QRect& area : areas_) {
        const QRect part = area & legend;
        if (!part.isEmpty())
            copyPixels(image, origin + part.topLeft(), legend_.image, part.translated(-legend.topLeft()));
    }
}

} // namespace veltrano
