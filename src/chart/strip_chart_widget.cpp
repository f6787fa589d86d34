#include "chart/strip_chart_widget.h"

#include "chart/chart_style.h"
#include "chart/trace_raster.h"
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

// Copies the pixels of part of a 32-bit source into a 32-bit target, with part's top left
// corner going to `to`; both rects lie inside their images.
void copyPixels(QImage& target, QPoint to, const QImage& source, const QRect& part)
{
    const qsizetype pixel = sizeof(QRgb);
    const qsizetype intoStride = target.bytesPerLine(), fromStride = source.bytesPerLine();
    uchar* into = target.bits() + to.y() * intoStride + to.x() * pixel;
    const uchar* from = source.constBits() + part.top() * fromStride + part.left() * pixel;
    const size_t bytes = size_t(part.width() * pixel);
    for (int row = 0; row < part.height(); ++row, into += intoStride, from += fromStride)
        std::memcpy(into, from, bytes);
}

// A whole number from 0 to 255, as the driver's values are.
bool isByte(double value)
{
    return value >= 0.0 && value < 256.0 && value == double(int(value));
}

} // namespace

StripChartWidget::StripChartWidget(QWidget* parent)
    : QWidget(parent), RefreshClient(Stage::Paint)
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
    if (staticDirty_ || dynamicRect_.isEmpty()) {
        update();
    } else if (isVisible()) {
        const QScopedValueRollback catchingUp(catchingUp_, true);
        repaint(dynamicRect_);
    }
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
    legendOpaque_ = isOpaque(legend_.image);

    // The bottom labels hang below the front bottom edge, which lies at one height in 2D
    // and 3D alike; their texts may run past the plot's ends, so the row spans the width.
    // Where byte values land, the driver's values: what drawSeries2D() and drawSeries3D()
    // would compute for them.
    for (int s = 0; s < SeriesSet::kSeriesCount; ++s) {
        const double z = double(s) / SeriesSet::kSeriesCount;
        for (int value = 0; value < 256; ++value)
            byteRows_[s][value] = view3D_ ? frame_.project(0.0, mapY(value), z).y() : mapY(value);
    }
    // The label font may have changed with the view: texts laid out for it go.
    labelHeight_ = QFontMetricsF(labelFont_).height();
    labelPen_ = QPen(kText);
    measureDigits();
    for (LabelText& entry : labelTexts_)
        entry.used = 0;

    const QRectF& plot = frame_.plot;
    const double labelTop = frame_.project(plot.left(), plot.bottom(), 0).y();
    const double labelBottom = labelTop + kTickLength + 1 + labelHeight_;
    const int rowTop = int(std::floor(labelTop)) - 2;
    labelRow_ = QRect(0, rowTop, width(), int(std::ceil(labelBottom)) + 2 - rowTop) & rect();
    const QRect legendRect(legend_.position, legend_.image.deviceIndependentSize().toSize());
    dynamicRect_ = (clip_.toAlignedRect().adjusted(-1, -1, 1, 1) | labelRow_ | legendRect) & rect();
    frameStale_ = true;
    lastFrame_.valid = false;
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
    const double ratio = devicePixelRatioF();
    if (staticDirty_ || background_.size() != size() * ratio || background_.devicePixelRatio() != ratio)
        rebuildStatic();
    if (background_.isNull())
        return;

    QPainter painter(this);
    QPoint origin;
    if (QImage* store = backingStoreImage(painter, origin)) {
        // Straight into the window's backing store, where the frame image would be copied
        // to anyway: the event's area gets the background and the frame over it. Nothing
        // outside the area is touched, as the painter's own clip does for its drawing. Under
        // display scaling the area in the store's pixels is the clip Qt set for this paint.
        // What the painter draws (labels, the legend) lands where it would in the frame
        // image, on the chart's rounded place.
        const QPointF place = QPointF(mapTo(window(), QPoint())) * ratio;
        if (QPointF(origin) != place)
            painter.translate((QPointF(origin) - place) / ratio);
        const QRect visible = QRect(QPoint(), background_.size()) & store->rect().translated(-origin);
        const QRegion region = ratio == 1.0 ? event->region() : deviceRegion(painter, event->region(), origin);
        if (ratio != 1.0)
            extendEdges(*store, origin, region);
        areas_.clear();
        for (const QRect& part : region) {
            const QRect area = part & visible;
            if (!area.isEmpty())
                areas_.push_back(area);
        }
        // A catch-up frame over the same areas of the same store as the last one only has to
        // take back what that one drew: on a chart of thin traces, a small part of the areas.
        // A paint of a part of them (under a widget over the chart that changed) restores its
        // part whole and adds what it drew to what the next frame takes back; any other paint
        // restores its whole area. Where the shapes cover much of the areas (wide 3D ribbons),
        // whole copies are quicker: what a frame drew is then not kept, and looked at again
        // every kProbeEvery frames.
        LastFrame& last = lastFrame_;
        const bool sameStore = last.valid && store->constBits() == last.store && store->size() == last.storeSize
                               && origin == last.origin;
        const bool again = sameStore && catchingUp_ && region == last.region;
        const bool part = sameStore && !catchingUp_ && region.subtracted(last.region).isEmpty();
        if (again) {
            restoreLastFrame(*store, origin);
        } else {
            for (const QRect& area : areas_)
                copyPixels(*store, origin + area.topLeft(), background_, area);
        }
        const bool keep = part || framesUntilProbe_ == 0;
        raster_.keepDrawn(keep);
        drawFrame(painter, *store, origin);
        if (part) {
            raster_.takeDrawn(drawnPart_);
            last.drawn.insert(last.drawn.end(), drawnPart_.begin(), drawnPart_.end());
            // Parts painted many times over without a frame between: the next frame goes whole.
            last.valid = last.drawn.size() <= kMostDrawnRects;
            return;
        }
        if (keep) {
            raster_.takeDrawn(last.drawn);
            last.valid = restoresLess();
            framesUntilProbe_ = last.valid ? 0 : kProbeEvery;
        } else {
            --framesUntilProbe_;
            last.valid = false;
        }
        last.region = region;
        last.store = store->constBits();
        last.storeSize = store->size();
        last.origin = origin;
        return;
    }

    // Anywhere else (a grab, another device pixel ratio): into the frame image, then onto
    // the device.
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
        painter.setWorldTransform(QTransform::fromTranslate(qRound(place.x()), qRound(place.y()))
                                  * device.inverted() * painter.worldTransform());
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
    const QRect area = event->rect() & rect();
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

bool StripChartWidget::restoresLess() const
{
    // Rows of a band are short copies: past about half the areas, one copy per row is cheaper.
    qint64 drawn = 0, whole = 0;
    for (const QRect& rect : lastFrame_.drawn)
        drawn += qint64(rect.width()) * rect.height();
    for (const QRect& area : areas_)
        whole += qint64(area.width()) * area.height();
    return 2 * drawn <= whole;
}

void StripChartWidget::restoreLastFrame(QImage& store, QPoint origin)
{
    for (const QRect& rect : lastFrame_.drawn)
        copyPixels(store, origin + rect.topLeft(), background_, rect);
    // Drawn by the painter or over the traces, and not kept in spans: taken back whole.
    // Widgets standing over the chart painted over the last frame, and paint again over this.
    const double ratio = devicePixelRatioF();
    std::vector<QRect>& whole = restoreWhole_;
    whole.assign(1, toDevice(labelRow_));
    if (!legendOpaque_)
        whole.push_back(toDevice(QRect(legend_.position, legend_.image.deviceIndependentSize().toSize())));
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
                if (rect.intersects(dynamicRect_))
                    whole.push_back(ratio == 1.0 ? rect : toDevice(rect).adjusted(-1, -1, 1, 1));
            }
        }
    }
    for (const QRect& rect : whole) {
        for (const QRect& area : areas_) {
            const QRect part = area & rect;
            if (!part.isEmpty())
                copyPixels(store, origin + part.topLeft(), background_, part);
        }
    }
}

void StripChartWidget::drawFrame(QPainter& painter, QImage& image, QPoint origin)
{
    ++frames_;
    raster_.aim(image, origin, clip_, areas_);
    double minX = 0.0, maxX = 1.0;
    if (data_.xRange(minX, maxX)) {
        if (maxX - minX <= 0.0) {
            minX -= 0.5;
            maxX += 0.5;
        }
        const std::vector<double>& labels = bottomLabels(minX, maxX);
        drawBottomGrid(labels, minX, maxX);
        drawBottomLabels(painter, labels, minX, maxX);
        if (view3D_)
            drawSeries3D(minX, maxX);
        else
            drawSeries2D(minX, maxX);
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

const std::vector<double>& StripChartWidget::bottomLabels(double minX, double maxX)
{
    const double widest = std::max(labelWidth(minX), labelWidth(maxX));
    const double increment = std::isfinite(bottomIncrement_) && bottomIncrement_ > 1.0 ? bottomIncrement_ : 1.0;
    const double step = labelStep(maxX - minX, frame_.plot.width(), widest + 12, increment);
    labelValues(minX, maxX, step, labels_);
    return labels_;
}

double StripChartWidget::labelWidth(double value) const
{
    // Whole numbers, which the strip's X values are, without making and shaping the text
    // where the label font's widths add up (see measureDigits()).
    if (digitsAdd_ && value == std::floor(value) && std::abs(value) < 1e15) {
        const long long whole = static_cast<long long>(value);
        double width = whole < 0 ? digitAdvances_[10] : 0.0;
        unsigned long long rest = static_cast<unsigned long long>(whole < 0 ? -whole : whole);
        do {
            width += digitAdvances_[rest % 10];
            rest /= 10;
        } while (rest != 0);
        return width;
    }
    return QFontMetricsF(labelFont_).horizontalAdvance(labelText(value));
}

void StripChartWidget::measureDigits()
{
    // The width of a text is the sum of its characters' advances unless the font kerns or
    // joins them; checked here on every pair of the characters a whole number is made of.
    if (digitsMeasured_ && digitFont_ == labelFont_)
        return;
    digitFont_ = labelFont_;
    digitsMeasured_ = true;
    const QFontMetricsF metrics(labelFont_);
    const char16_t characters[] = u"0123456789-";
    for (int i = 0; i < 11; ++i)
        digitAdvances_[i] = metrics.horizontalAdvance(QString(QChar(characters[i])));
    digitsAdd_ = true;
    for (int i = 0; i < 11 && digitsAdd_; ++i) {
        for (int j = 0; j < 11 && digitsAdd_; ++j) {
            const QChar pairChars[2] = {QChar(characters[i]), QChar(characters[j])};
            const QString pair(pairChars, 2);
            digitsAdd_ = metrics.horizontalAdvance(pair) == digitAdvances_[i] + digitAdvances_[j];
        }
    }
}

const StripChartWidget::LabelText& StripChartWidget::preparedLabel(double value, const QFont& font)
{
    LabelText* oldest = &labelTexts_[0];
    for (LabelText& entry : labelTexts_) {
        if (entry.used != 0 && entry.value == value) {
            entry.used = frames_;
            return entry;
        }
        if (entry.used < oldest->used)
            oldest = &entry;
    }
    oldest->value = value;
    oldest->text.setText(labelText(value));
    oldest->text.setTextFormat(Qt::PlainText);
    oldest->text.prepare(QTransform(), font);
    oldest->width = oldest->text.size().width();
    oldest->used = frames_;
    return *oldest;
}

void StripChartWidget::drawBottomGrid(const std::vector<double>& labels, double minX, double maxX)
{
    const Frame& f = frame_;
    const QRectF& plot = f.plot;
    const double scale = plot.width() / (maxX - minX);
    // Translucent lines through QPainter cost about 0.1 ms each here; the raster blends them.
    const QRgb grid = kGrid.rgba();
    for (double value : labels) {
        const double x = std::round(plot.left() + (value - minX) * scale);
        if (f.depth) {
            const QPointF floor[2] = {f.project(x, plot.bottom(), 0), f.project(x, plot.bottom(), 1)};
            const QPointF wall[2] = {floor[1], f.project(x, plot.top(), 1)};
            raster_.line(floor, 2, 1.0, grid, true);
            raster_.line(wall, 2, 1.0, grid, false);
        } else {
            const QPointF line[2] = {{x, plot.top()}, {x, plot.bottom()}};
            raster_.line(line, 2, 1.0, grid, false);
        }
    }
}

void StripChartWidget::drawBottomLabels(QPainter& painter, const std::vector<double>& labels, double minX, double maxX)
{
    const Frame& f = frame_;
    const QRectF& plot = f.plot;
    const double scale = plot.width() / (maxX - minX);
    painter.setPen(labelPen_);
    painter.setFont(labelFont_);
    // A text laid out once draws the same pixels as drawText() does into its box when the
    // painter only moves by whole pixels and the text fits the box; otherwise drawText().
    const QTransform& device = painter.deviceTransform();
    const bool prepared = device.type() <= QTransform::TxTranslate && device.dx() == std::floor(device.dx())
                          && device.dy() == std::floor(device.dy());
    for (double value : labels) {
        const QPointF at = f.project(plot.left() + (value - minX) * scale, plot.bottom(), 0);
        painter.drawLine(at, at + QPointF(0, kTickLength));
        const QRectF box(at.x() - 50, at.y() + kTickLength + 1, 100, labelHeight_);
        if (prepared) {
            const LabelText& text = preparedLabel(value, painter.font());
            if (text.width <= box.width()) {
                painter.drawStaticText(QPointF(box.x() + (box.width() - text.width) / 2, box.y()), text.text);
                continue;
            }
        }
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, labelText(value));
    }
}

void StripChartWidget::drawSeries2D(double minX, double maxX)
{
    const QRectF& plot = frame_.plot;
    const double scale = plot.width() / (maxX - minX);
    for (int s = 0; s < SeriesSet::kSeriesCount; ++s) {
        const SeriesBuffer& points = data_.series(s);
        const int n = points.size();
        line_.resize(n);
        QPointF* out = line_.data();
        const std::array<double, 256>& rows = byteRows_[s];
        for (int i = 0; i < n; ++i) {
            const ChartPoint& p = points[i];
            out[i] = QPointF(plot.left() + (p.x - minX) * scale, isByte(p.y) ? rows[int(p.y)] : mapY(p.y));
        }
        raster_.line(out, n, pens_[s].widthF(), pens_[s].color().rgb(), pens_[s].capStyle() == Qt::FlatCap);
    }
}

void StripChartWidget::drawSeries3D(double minX, double maxX)
{
    const Frame& f = frame_;
    const QRectF& plot = f.plot;
    const double scale = plot.width() / (maxX - minX);
    constexpr int count = SeriesSet::kSeriesCount;
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
        // X and Y project independently of each other.
        const std::array<double, 256>& rows = byteRows_[s];
        for (int i = 0; i < n; ++i) {
            const ChartPoint& p = points[i];
            const double x = plot.left() + (p.x - minX) * scale;
            front[i] = isByte(p.y) ? QPointF(f.project(x, 0.0, zFront).x(), rows[int(p.y)])
                                   : f.project(x, mapY(p.y), zFront);
            back[i] = front[i] + depth;
        }

        const QColor colour = pens_[s].color();
        raster_.ribbon(front, n, depth, colour.darker(170).rgb());
        raster_.line(back, n, 1.0, colour.darker(120).rgb(), false);
        raster_.line(front, n, pens_[s].widthF(), colour.rgb(), pens_[s].capStyle() == Qt::FlatCap);
    }
}

} // namespace veltrano
