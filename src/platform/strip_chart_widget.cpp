#include "platform/strip_chart_widget.h"

#include "platform/units.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace veltrano {

namespace {

constexpr int kMargin = 6;
constexpr int kTickLength = 4;
constexpr int kLegendSpacing = 18;
constexpr double kDepthAxisFrom = -1.82;
constexpr double kDepthAxisTo = -0.82;

// The 2.5D view: depth as a share of the plot width, perspective, zoom, vertical offset
// and the zoom of the axis texts.
constexpr double kDepthShare = 0.10;
constexpr double kPerspective = 30.0;
constexpr double kZoom = 1.03;
constexpr double kVerticalOffset = -28.0;
constexpr double kTextZoom = 0.85;

const QColor kText(255, 255, 255);
const QColor kGrid(150, 170, 220, 60);
const QColor kGradientBottom(3, 8, 34);
const QColor kGradientTop(20, 48, 112);

QFont pixelFont(const QString& family, int pixels, bool bold = false, bool italic = false)
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

// Smallest step of the form increment × {1, 2, 5} × 10^k that leaves at least minPixels
// between labels.
double labelStep(double span, double pixels, double minPixels, double increment)
{
    const double base = increment > 0.0 ? increment : 1.0;
    if (!(span > 0.0) || !(pixels > 0.0))
        return base;
    double step = base;
    for (int guard = 0; guard < 60; ++guard) {
        for (double factor : {1.0, 2.0, 5.0}) {
            if (step * factor * pixels / span >= minPixels)
                return step * factor;
        }
        step *= 10.0;
    }
    return step;
}

// Label values of a linear axis; bounded so that a range far from zero cannot loop.
std::vector<double> labelValues(double min, double max, double step)
{
    std::vector<double> values;
    const double first = std::ceil(min / step - 1e-9);
    for (int i = 0; i < 400; ++i) {
        const double value = (first + i) * step;
        if (value > max + step * 1e-9)
            break;
        values.push_back(value);
    }
    return values;
}

QString labelText(double value)
{
    return QString::number(std::abs(value) < 5e-10 ? 0.0 : value, 'f', 0);
}

void drawRaisedBevel(QPainter& painter, const QRect& rect)
{
    const QColor light(255, 255, 255, 210), midLight(200, 210, 235, 150);
    const QColor dark(0, 0, 0, 200), midDark(20, 25, 45, 160);
    const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
    painter.setPen(light);
    painter.drawLine(l, t, r - 1, t);
    painter.drawLine(l, t, l, b - 1);
    painter.setPen(midLight);
    painter.drawLine(l + 1, t + 1, r - 2, t + 1);
    painter.drawLine(l + 1, t + 1, l + 1, b - 2);
    painter.setPen(dark);
    painter.drawLine(l, b, r, b);
    painter.drawLine(r, t, r, b);
    painter.setPen(midDark);
    painter.drawLine(l + 1, b - 1, r - 1, b - 1);
    painter.drawLine(r - 1, t + 1, r - 1, b - 1);
}

} // namespace

StripChartWidget::StripChartWidget(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
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
    legendEntryFont_ = pixelFont(QStringLiteral("Arial Black"), 13, false, true);
    legendEntryFont_.setWeight(QFont::Black);
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

void StripChartWidget::setBottomAxisIncrement(double increment)
{
    bottomIncrement_ = increment;
    scheduleRepaint();
}

void StripChartWidget::scheduleRepaint()
{
    // Qt merges pending updates into one paint per pass of the event loop; a data call
    // never paints by itself.
    update();
}

void StripChartWidget::resizeEvent(QResizeEvent* event)
{
    staticDirty_ = true;
    QWidget::resizeEvent(event);
}

// ---------------------------------------------------------------------------------------
// Layout and the static layers

void StripChartWidget::layoutFrame()
{
    const QFontMetricsF titleMetrics(titleFont_), subtitleMetrics(subtitleFont_);
    const QFontMetricsF subFootMetrics(subFootFont_);
    labelFont_ = axisFont_;
    if (view3D_)
        labelFont_.setPixelSize(qRound(axisFont_.pixelSize() * kTextZoom));
    const QFontMetricsF labelMetrics(labelFont_);

    const double top = kMargin + titleMetrics.height() + subtitleMetrics.height() + 10;
    const double bottom = height() - kMargin - subFootMetrics.height() - labelMetrics.height() - kTickLength - 4;
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

void StripChartWidget::rebuildStatic()
{
    staticDirty_ = false;
    if (width() <= 0 || height() <= 0) {
        background_ = QImage();
        return;
    }
    layoutFrame();
    const double ratio = devicePixelRatioF();
    background_ = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    background_.setDevicePixelRatio(ratio);
    {
        QPainter painter(&background_);
        drawStaticBackground(painter);
        drawStaticAxes(painter);
    }
    buildLegend();
}

void StripChartWidget::drawStaticBackground(QPainter& painter)
{
    QLinearGradient gradient(0, height(), 0, 0);
    gradient.setColorAt(0.0, kGradientBottom);
    gradient.setColorAt(1.0, kGradientTop);
    painter.fillRect(rect(), gradient);

    painter.setPen(kText);
    painter.setFont(titleFont_);
    const QFontMetricsF titleMetrics(titleFont_);
    const QRectF titleRect(kMargin + 2, kMargin, width() - 2 * kMargin, titleMetrics.height());
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("CODE : (DATA1)(DATA2)(DATA3)(DATA4)\"E\""));
    painter.setFont(subtitleFont_);
    const QRectF subtitleRect(kMargin, titleRect.bottom(), width() - 2 * kMargin,
                              QFontMetricsF(subtitleFont_).height());
    painter.drawText(subtitleRect, Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("DO LON CUA TIN HIEU"));
    // The sub-footer line below the plot is empty; layoutFrame() keeps its height free.
}

void StripChartWidget::drawStaticAxes(QPainter& painter)
{
    const Frame& f = frame_;
    const QRectF& plot = f.plot;
    const QFontMetricsF labelMetrics(labelFont_);
    const double yStep = labelStep(kLeftAxisMax - kLeftAxisMin, plot.height(), labelMetrics.height() * 1.7, 0.0);
    const std::vector<double> yLabels = labelValues(kLeftAxisMin, kLeftAxisMax, yStep);
    const QPen axisPen(kText, 1);
    const QPen gridPen(kGrid, 1);

    painter.setRenderHint(QPainter::Antialiasing, f.depth);
    if (!f.depth) {
        painter.fillRect(plot, QColor(0, 0, 20, 70));
        painter.setPen(gridPen);
        for (double value : yLabels) {
            const double y = std::round(mapY(value)) + 0.5;
            painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        }
    } else {
        auto face = [&](std::initializer_list<QPointF> corners, const QColor& fill) {
            painter.setPen(QPen(QColor(190, 205, 240, 110), 1));
            painter.setBrush(fill);
            painter.drawPolygon(QPolygonF(corners));
        };
        const double l = plot.left(), r = plot.right(), t = plot.top(), b = plot.bottom();
        face({f.project(l, t, 1), f.project(r, t, 1), f.project(r, b, 1), f.project(l, b, 1)}, QColor(0, 0, 25, 90));
        face({f.project(l, t, 0), f.project(l, t, 1), f.project(l, b, 1), f.project(l, b, 0)}, QColor(70, 100, 170, 80));
        face({f.project(l, b, 0), f.project(r, b, 0), f.project(r, b, 1), f.project(l, b, 1)}, QColor(90, 120, 190, 110));
        painter.setBrush(Qt::NoBrush);
        painter.setPen(gridPen);
        for (double value : yLabels) {
            const double y = mapY(value);
            painter.drawPolyline(QPolygonF({f.project(l, y, 0), f.project(l, y, 1), f.project(r, y, 1)}));
        }

        // Depth axis along the bottom right edge.
        painter.setPen(axisPen);
        painter.drawLine(f.project(r, b, 0), f.project(r, b, 1));
        painter.setFont(labelFont_);
        const int depthLabels = 5;
        for (int i = 0; i < depthLabels; ++i) {
            const double z = double(i) / (depthLabels - 1);
            const QPointF at = f.project(r, b, z);
            painter.drawLine(at, at + QPointF(kTickLength, 0));
            const QString text = QString::number(kDepthAxisFrom + (kDepthAxisTo - kDepthAxisFrom) * z, 'f', 2);
            painter.drawText(QRectF(at.x() + kTickLength + 2, at.y() - labelMetrics.height() / 2, 60,
                                    labelMetrics.height()),
                             Qt::AlignLeft | Qt::AlignVCenter, text);
        }
    }

    // Left axis at the front face.
    painter.setPen(axisPen);
    painter.setFont(labelFont_);
    const QPointF axisTop = f.project(plot.left(), plot.top(), 0);
    const QPointF axisBottom = f.project(plot.left(), plot.bottom(), 0);
    painter.drawLine(axisTop, axisBottom);
    for (double value : yLabels) {
        const QPointF at = f.project(plot.left(), mapY(value), 0);
        painter.drawLine(at, at - QPointF(kTickLength, 0));
        painter.drawText(QRectF(0, at.y() - labelMetrics.height() / 2, at.x() - kTickLength - 2,
                                labelMetrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, labelText(value));
    }
    painter.drawLine(axisBottom, f.project(plot.right(), plot.bottom(), 0));
    painter.setRenderHint(QPainter::Antialiasing, false);
}

void StripChartWidget::buildLegend()
{
    const QFontMetricsF titleMetrics(legendTitleFont_), entryMetrics(legendEntryFont_);
    const QString title = QStringLiteral("CHÚ THÍCH");
    constexpr int padding = 8, symbolWidth = 22, symbolGap = 7, bevel = 2;

    double textWidth = 0;
    for (const QString& entry : titles_)
        textWidth = std::max(textWidth, entryMetrics.horizontalAdvance(entry));
    const int titleHeight = qCeil(titleMetrics.height()) + 6;
    const int rowHeight = qCeil(entryMetrics.height()) + kLegendSpacing;
    const int legendWidth = qCeil(std::max(padding * 2 + symbolWidth + symbolGap + textWidth,
                                           padding * 2 + titleMetrics.horizontalAdvance(title)));
    const int legendHeight = bevel * 2 + 4 + titleHeight + rowHeight * SeriesSet::kSeriesCount;

    const double ratio = devicePixelRatioF();
    legend_ = QImage(QSize(legendWidth, legendHeight) * ratio, QImage::Format_ARGB32_Premultiplied);
    legend_.setDevicePixelRatio(ratio);
    legend_.fill(QColor(10, 20, 60));
    QPainter painter(&legend_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect box(0, 0, legendWidth, legendHeight);
    if (!legendArt_.isNull())
        painter.drawPixmap(box, legendArt_);

    painter.setPen(kText);
    painter.setFont(legendTitleFont_);
    painter.drawText(QRect(0, bevel + 2, legendWidth, titleHeight), Qt::AlignCenter, title);

    painter.setFont(legendEntryFont_);
    const QPen divider(QColor(210, 220, 245, 150), 1);
    int y = bevel + 2 + titleHeight;
    for (int i = 0; i < SeriesSet::kSeriesCount; ++i) {
        painter.setPen(divider);
        if (i > 0)
            painter.drawLine(bevel + 2, y, legendWidth - bevel - 3, y);
        const QRect row(padding, y, legendWidth - 2 * padding, rowHeight);
        QPen symbol = pens_[i];
        symbol.setCapStyle(Qt::FlatCap);
        painter.setPen(symbol);
        painter.drawLine(row.left(), row.center().y() + 1, row.left() + symbolWidth, row.center().y() + 1);
        painter.setPen(pens_[i].color());
        painter.drawText(row.adjusted(symbolWidth + symbolGap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         titles_[i]);
        y += rowHeight;
    }
    drawRaisedBevel(painter, box);

    const QRectF& area = clip_;
    legendPos_ = QPoint(qRound(area.right()) - legendWidth - 10, qRound(area.top()) + 10);
}

// ---------------------------------------------------------------------------------------
// Painting

namespace {

// std::ceil is a library call on the baseline x86-64 target; this is on the per-row path.
// Only for values well inside the int range, which mapY() and the clip guarantee.
inline int ceilToInt(double value)
{
    const int truncated = int(value);
    return truncated + (value > truncated);
}

// Non-antialiased drawing of the traces straight into a 32-bit image of opaque pixels, one
// vertical span per pixel column. Every trace is a curve whose X never decreases (the
// series keep their points in X order), so what it covers in a column is a single run of
// rows: the chart paints each column once per shape instead of stroking segment by segment.
// A pixel is covered when its centre lies in the shape. Coordinates are logical; the
// image's device pixel ratio scales them.
class TraceRaster {
public:
    TraceRaster(QImage& image, const QRectF& clip)
        : bits_(reinterpret_cast<QRgb*>(image.bits())),
          stride_(image.bytesPerLine() / qsizetype(sizeof(QRgb))),
          scale_(image.devicePixelRatio())
    {
        left_ = std::max(0, ceilToInt(clip.left() * scale_ - 0.5));
        right_ = std::min(image.width() - 1, ceilToInt(clip.right() * scale_ - 0.5) - 1);
        top_ = std::max(0, ceilToInt(clip.top() * scale_ - 0.5));
        bottom_ = std::min(image.height() - 1, ceilToInt(clip.bottom() * scale_ - 0.5) - 1);
    }

    // A line of the given width drawn with a square brush (the curve swept by a width ×
    // width square); with flat ends it stops at the curve's first and last X.
    void line(const QPointF* points, int count, double width, QRgb colour, bool flatEnds)
    {
        if (!load(points, count))
            return;
        const double half = width * scale_ / 2;
        const double from = device_.front().x() - (flatEnds ? 0.0 : half);
        const double to = device_.back().x() + (flatEnds ? 0.0 : half);
        columns(from, to, half, half, 0.0, half, colour);
    }

    // The curve swept along the depth vector (depthX > 0): the face of a 3D ribbon.
    void ribbon(const QPointF* points, int count, QPointF depth, QRgb colour)
    {
        if (!load(points, count) || !(depth.x() > 0.0))
            return;
        const double dx = depth.x() * scale_, dy = depth.y() * scale_;
        columns(device_.front().x(), device_.back().x() + dx, dx, 0.0, dy / dx, 0.0, colour);
    }

private:
    bool load(const QPointF* points, int count)
    {
        if (count <= 0)
            return false;
        device_.resize(count);
        // QPainter's aliased drawing fills pixel (x, y) for a point at (x, y); sampling at
        // pixel centres matches it once shifted by half a pixel.
        for (int i = 0; i < count; ++i)
            device_[i] = points[i] * scale_ + QPointF(0.5, 0.5);
        return true;
    }

    // For each column whose centre xc lies in [from, to): the rows between the least and
    // greatest of y + (xc - x) × slope over the curve's points (x, y) with x in
    // [xc - before, xc + after], widened by grow. The value is linear along each segment,
    // so the curve's vertices in the window and its two crossings of the window's edges
    // are all that need looking at.
    void columns(double from, double to, double before, double after, double slope, double grow, QRgb colour)
    {
        const QPointF* p = device_.data();
        const int n = int(device_.size());
        const bool opaque = qAlpha(colour) == 255;
        const int first = std::max(left_, ceilToInt(from - 0.5));
        const int last = std::min(right_, ceilToInt(to - 0.5) - 1);
        int lo = 0;
        for (int column = first; column <= last; ++column) {
            const double xc = column + 0.5, windowLeft = xc - before, windowRight = xc + after;
            while (lo < n && p[lo].x() < windowLeft)
                ++lo;
            double yMin = std::numeric_limits<double>::infinity(), yMax = -yMin;
            auto take = [&](double x, double y) {
                const double value = y + (xc - x) * slope;
                yMin = std::min(yMin, value);
                yMax = std::max(yMax, value);
            };
            auto crossing = [&](int i, double x) { // on segment i-1 → i, which spans x
                const QPointF& a = p[i - 1];
                const QPointF& b = p[i];
                take(x, a.y() + (x - a.x()) * (b.y() - a.y()) / (b.x() - a.x()));
            };
            if (lo > 0 && lo < n)
                crossing(lo, windowLeft);
            int i = lo;
            for (; i < n && p[i].x() <= windowRight; ++i)
                take(p[i].x(), p[i].y());
            if (i > 0 && i < n)
                crossing(i, windowRight);
            if (!(yMin <= yMax))
                continue;
            const int rowFirst = std::max(top_, ceilToInt(yMin - grow - 0.5));
            const int rowLast = std::min(bottom_, ceilToInt(yMax + grow - 0.5) - 1);
            QRgb* pixel = bits_ + qsizetype(rowFirst) * stride_ + column;
            if (opaque) {
                for (int row = rowFirst; row <= rowLast; ++row, pixel += stride_)
                    *pixel = colour;
            } else {
                for (int row = rowFirst; row <= rowLast; ++row, pixel += stride_)
                    *pixel = blend(*pixel, colour);
            }
        }
    }

    // colour is not premultiplied; the image's pixels are opaque.
    static QRgb blend(QRgb under, QRgb colour)
    {
        const int a = qAlpha(colour), keep = 255 - a;
        return qRgb((qRed(colour) * a + qRed(under) * keep) / 255, (qGreen(colour) * a + qGreen(under) * keep) / 255,
                    (qBlue(colour) * a + qBlue(under) * keep) / 255);
    }

    QRgb* bits_;
    qsizetype stride_;
    double scale_;
    int left_, right_, top_, bottom_;
    std::vector<QPointF> device_;
};

} // namespace

double StripChartWidget::mapY(double y) const
{
    const QRectF& plot = frame_.plot;
    const double mapped = plot.bottom() - (y - kLeftAxisMin) / (kLeftAxisMax - kLeftAxisMin) * plot.height();
    // Far-off values keep their direction without handing the rasteriser huge coordinates.
    return std::clamp(mapped, plot.top() - 4 * plot.height(), plot.bottom() + 4 * plot.height());
}

void StripChartWidget::paintEvent(QPaintEvent*)
{
    const double ratio = devicePixelRatioF();
    if (staticDirty_ || background_.size() != size() * ratio || background_.devicePixelRatio() != ratio)
        rebuildStatic();
    if (background_.isNull())
        return;

    if (frameImage_.size() != background_.size() || frameImage_.format() != background_.format()) {
        frameImage_ = QImage(background_.size(), background_.format());
        frameImage_.setDevicePixelRatio(ratio);
    }
    std::memcpy(frameImage_.bits(), background_.constBits(), size_t(background_.sizeInBytes()));

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
        painter.drawImage(legendPos_, legend_);
    }

    QPainter painter(this);
    painter.drawImage(0, 0, frameImage_);
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
