#pragma once

#include "chart/axis_labels.h"
#include "chart/chart_control.h"
#include "chart/chart_layout.h"
#include "chart/frame_shapes.h"
#include "chart/legend.h"
#include "chart/series_buffer.h"
#include "chart/store_damage.h"
#include "chart/trace_raster.h"
#include "controls/refresh_clock.h"

#include <QImage>
#include <QPen>
#include <QPixmap>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <array>
#include <vector>

namespace veltrano {

// The strip chart drawn with QPainter: four fast-line series over a fixed left axis and
// an automatic bottom axis, a legend over the plot's right side, and an optional 2.5D view.
// Data calls only schedule a repaint; the parts that do not depend on the points are kept
// in images rebuilt on resize and on the 3D switch (the layout, background and legend).
// The chart takes no mouse or keyboard input.
//
// A frame is painted straight into the window's backing store image, not through QPainter's
// image blit, and the traces are scan-converted into it (TraceRaster): QPainter's stroker
// costs about a millisecond per 500-point wide line, and a blit of the whole plot each frame
// costs more than the frame. Painting there is deliberate, not a shortcut: StoreDamage keeps
// what the last frame left in the store, so that a catch-up puts back only what that frame
// drew. Where the store cannot be used (grab(), another scale) the frame goes through an
// image of its own. The figures behind this are in tools/bench/README.md ("What a frame costs").
class StripChartWidget : public QWidget, public ChartControl, public RefreshClient {
    Q_OBJECT
public:
    static constexpr double kLeftAxisMin = ChartLayout::kLeftAxisMin;
    static constexpr double kLeftAxisMax = ChartLayout::kLeftAxisMax;

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

    // The decorative picture behind the legend; none by default.
    void setLegendPicture(const QPixmap& picture);

    const SeriesBuffer& series(int index) const { return data_.series(index); }
    QString seriesTitle(int index) const;
    QColor seriesColor(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    const ChartPoint& point(int series, int index) const;
    void scheduleRepaint();
    void catchUp() override;
    void rebuildStatic();
    // The image of the window's backing store when the painter paints into it, with the
    // chart's top left pixel there; null when the frame has to go through frameImage_.
    QImage* backingStoreImage(const QPainter& painter, QPoint& origin) const;
    void paintIntoStore(QPainter& painter, QImage& store, QPoint origin, const QRegion& region);
    void paintThroughImage(QPainter& painter, const QRect& area);
    // What a paint of region in the backing store may touch there, in the store's pixels
    // relative to the chart's top left pixel at origin.
    QRegion deviceRegion(QPainter& painter, const QRegion& region, QPoint origin) const;
    // The store's pixels of the chart in region outside the frame image (a place between
    // pixels leaves a pixel more on a side): the background's edge again.
    void extendEdges(QImage& store, QPoint origin, const QRegion& region) const;
    // A rect of the chart in its device pixels, all pixels it touches.
    QRect toDevice(const QRect& rect) const;
    // What a frame in the store puts back whole (device pixels): the label row, a legend the
    // traces show through, and the widgets standing over the chart, which paint over it.
    void wholeRects(std::vector<QRect>& rects) const;
    // Everything a frame draws over the background, into image with the chart at origin,
    // touching only areas_.
    void drawFrame(QPainter& painter, QImage& image, QPoint origin);

    SeriesSet data_;
    std::array<QPen, SeriesSet::kSeriesCount> pens_;
    std::array<QString, SeriesSet::kSeriesCount> titles_;

    bool visibleSetting_ = true;
    bool view3D_ = false;
    double bottomIncrement_ = 0.0;
    int coveredBottom_ = 0;

    ChartFonts fonts_;
    bool staticDirty_ = true;
    ChartLayout layout_;
    QImage background_;
    QPixmap legendArt_;
    Legend legend_;
    bool legendOpaque_ = false;
    BottomAxisLabels labels_;
    FrameShapes shapes_;
    TraceRaster raster_;
    StoreDamage damage_;
    bool catchingUp_ = false; // in the repaint of a catch-up

    // Rows per blit onto the widget; larger blits are split across threads by Qt.
    static constexpr int kBlitBand = 64;
    // For paints that cannot go to the window's backing store (grab(), another device pixel
    // ratio), reused across them. Outside the dynamic rect it holds the background once
    // frameStale_ is cleared.
    QImage frameImage_;
    bool frameStale_ = true;
    std::vector<QRect> areas_; // what this paint may touch, in device pixels of the chart
    std::vector<QRect> whole_, recorded_; // what a frame puts back whole, and what it drew
};

} // namespace veltrano
