#pragma once

#include "chart/chart_control.h"
#include "chart/legend.h"
#include "chart/series_buffer.h"
#include "chart/trace_raster.h"
#include "controls/refresh_clock.h"

#include <QFont>
#include <QImage>
#include <QPen>
#include <QPixmap>
#include <QPolygonF>
#include <QRegion>
#include <QStaticText>
#include <QString>
#include <QWidget>

#include <array>
#include <vector>

namespace veltrano {

// The strip chart drawn with QPainter: four fast-line series over a fixed left axis and
// an automatic bottom axis, a legend over the plot's right side, and an optional 2.5D view.
// Data calls only schedule a repaint; the parts that do not depend on the points are kept
// in images rebuilt on resize and on the 3D switch. A frame goes straight into the window's
// backing store where it can (else into a frame image), and the traces are scan-converted
// into it: QPainter's stroker costs about a millisecond per 500-point wide line.
// The chart takes no mouse or keyboard input.
class StripChartWidget : public QWidget, public ChartControl, public RefreshClient {
    Q_OBJECT
public:
    static constexpr double kLeftAxisMin = -2.2335;
    static constexpr double kLeftAxisMax = 329.004;

    explicit StripChartWidget(QWidget* parent = nullptr);
    ~StripChartWidget() override;

    void setTopMm(double top) override;
    void setLeftMm(double left) override;
    // The chart's own visibility setting; it does not show a chart that has no parent as a window.
    void setVisible(bool visible) override;
    bool isVisible() const override { return visibleSetting_; }
    void setCoveredBottom(int pixels) override;

    int seriesCount() const override { return data_.seriesCount(); }
    int pointCount(int series) const override { return data_.pointCount(series); }
    void deleteFirst(int series) override;
    double lastX(int series) const override { return data_.lastX(series); }
    double xValue(int series, int index) const override { return point(series, index).x; }
    double yValue(int series, int index) const override { return point(series, index).y; }
    int addY(int series, double y, const QString& label, unsigned color) override;
    int addXY(int series, double x, double y, const QString& label, unsigned color) override;

    void setView3D(bool on) override;
    bool view3D() const override { return view3D_; }
    void setBottomAxisIncrement(double increment) override;
    double bottomAxisIncrement() const { return bottomIncrement_; }

    QWidget* widget() override { return this; }
    QImage picture() override { return grab().toImage(); }

    const SeriesBuffer& series(int index) const { return data_.series(index); }
    QString seriesTitle(int index) const;
    QColor seriesColor(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

public:
    // The decorative picture behind the legend; none by default.
    void setLegendPicture(const QPixmap& picture);

private:
    // Where the plot sits; in 3D, the front face and the oblique projection of depth.
    struct Frame {
        QRectF plot;
        bool depth = false;
        double depthX = 0.0, depthY = 0.0; // screen offset of the back plane before perspective
        double perspective = 0.0;
        QPointF vanishing;
        double zoom = 1.0;
        QPointF zoomCentre;
        double shiftY = 0.0;

        QPointF project(double x, double y, double z) const
        {
            if (!depth)
                return {x, y};
            const double s = 1.0 / (1.0 + perspective * z);
            const double px = vanishing.x() + (x - vanishing.x()) * s + z * depthX;
            const double py = vanishing.y() + (y - vanishing.y()) * s + z * depthY;
            return {zoomCentre.x() + (px - zoomCentre.x()) * zoom,
                    zoomCentre.y() + (py - zoomCentre.y()) * zoom + shiftY};
        }
    };

    const ChartPoint& point(int series, int index) const;
    void scheduleRepaint();
    void catchUp() override;
    void rebuildStatic();
    void layoutFrame();
    // The background image's gradient, titles and axes (background_layer.cpp).
    void drawStaticBackground(QPainter& painter);
    void drawStaticAxes(QPainter& painter);
    const std::vector<double>& bottomLabels(double minX, double maxX);
    void drawBottomGrid(const std::vector<double>& labels, double minX, double maxX);
    void drawBottomLabels(QPainter& painter, const std::vector<double>& labels, double minX, double maxX);
    void drawSeries2D(double minX, double maxX);
    void drawSeries3D(double minX, double maxX);
    double mapY(double y) const;
    // The image of the window's backing store when the painter paints into it, with the
    // chart's top left pixel there; null when the frame has to go through frameImage_.
    QImage* backingStoreImage(const QPainter& painter, QPoint& origin) const;
    // What a paint of region in the backing store may touch there, in the store's pixels
    // relative to the chart's top left pixel at origin.
    QRegion deviceRegion(QPainter& painter, const QRegion& region, QPoint origin) const;
    // The store's pixels of the chart in region outside the frame image (a place between
    // pixels leaves a pixel more on a side): the background's edge again.
    void extendEdges(QImage& store, QPoint origin, const QRegion& region) const;
    // A rect of the chart in its device pixels, all pixels it touches.
    QRect toDevice(const QRect& rect) const;
    // Everything a frame draws over the background, into image with the chart at origin,
    // touching only areas_.
    void drawFrame(QPainter& painter, QImage& image, QPoint origin);
    // Puts the background back where the last frame in the backing store drew, for a frame
    // that paints the same areas of the same store again.
    void restoreLastFrame(QImage& store, QPoint origin);
    // Whether that takes back fewer pixels than the whole areas by enough to be quicker.
    bool restoresLess() const;
    double labelWidth(double value) const;
    void measureDigits();
    struct LabelText {
        double value = 0.0;
        QStaticText text;
        double width = 0.0;
        quint64 used = 0; // the frame that last drew it; 0: free
    };
    const LabelText& preparedLabel(double value, const QFont& font);

    SeriesSet data_;
    std::array<QPen, SeriesSet::kSeriesCount> pens_;
    std::array<QString, SeriesSet::kSeriesCount> titles_;

    bool visibleSetting_ = true;
    bool view3D_ = false;
    double bottomIncrement_ = 0.0;
    int coveredBottom_ = 0;

    QFont titleFont_, subtitleFont_, subFootFont_, axisFont_, legendTitleFont_, legendEntryFont_;

    bool staticDirty_ = true;
    Frame frame_;
    QRectF clip_;
    // What a frame can change: the plot (with the legend over it) and the bottom label row.
    // Everything else is the background.
    QRect dynamicRect_;
    QFont labelFont_; // axis labels at the current text zoom
    QImage background_;
    QPixmap legendArt_;
    Legend legend_;

    // Rows per blit onto the widget; larger blits are split across threads by Qt.
    static constexpr int kBlitBand = 64;

    // For paints that cannot go to the window's backing store (grab(), another device pixel
    // ratio), reused across them. Outside dynamicRect_ it holds the background once
    // frameStale_ is cleared.
    QImage frameImage_;
    bool frameStale_ = true;
    QPolygonF line_;
    QPolygonF back_;
    std::vector<double> labels_;
    std::vector<QRect> areas_; // what this paint may touch, in device pixels of the chart
    TraceRaster raster_;
    // The last frame painted into the backing store: what its traces and grid covered, and
    // where it went. Outside those spans and the label row its areas hold the background.
    struct LastFrame {
        bool valid = false;
        std::vector<QRect> drawn;
        QRegion region;
        const uchar* store = nullptr;
        QSize storeSize;
        QPoint origin;
    } lastFrame_;
    std::vector<QRect> drawnPart_; // what a paint of a part of the last frame's areas drew
    std::vector<QRect> restoreWhole_; // what restoreLastFrame() takes back whole
    static constexpr std::size_t kMostDrawnRects = 4096;
    static constexpr int kProbeEvery = 32;
    int framesUntilProbe_ = 0;
    bool catchingUp_ = false; // in the repaint of a catch-up; any other paint starts afresh
    QRect labelRow_; // the bottom labels and their ticks
    quint64 frames_ = 0;
    // Bottom-axis label texts laid out once, found by value; the least recently drawn goes.
    std::array<LabelText, 24> labelTexts_;
    double labelHeight_ = 0.0;
    QPen labelPen_; // made once: setPen() with a colour makes a pen every frame
    bool legendOpaque_ = false;
    // Advances of "0".."9" and "-" in the label font, and whether whole numbers' widths
    // are their sums.
    std::array<double, 11> digitAdvances_{};
    bool digitsAdd_ = false;
    bool digitsMeasured_ = false;
    QFont digitFont_;
    // Per series, the row of a point of Y 0, 1 .. 255 in the current layout.
    std::array<std::array<double, 256>, SeriesSet::kSeriesCount> byteRows_{};
};

} // namespace veltrano
