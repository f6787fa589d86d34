#pragma once

#include "chart/chart_control.h"
#include "chart/legend.h"
#include "chart/series_buffer.h"

#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QPen>
#include <QPixmap>
#include <QPolygonF>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <vector>

namespace veltrano {

// The strip chart drawn with QPainter: four fast-line series over a fixed left axis and
// an automatic bottom axis, a legend over the plot's right side, and an optional 2.5D view.
// Data calls only schedule a repaint; the parts that do not depend on the points are kept
// in images rebuilt on resize and on the 3D switch. The traces are scan-converted straight
// into a frame image: QPainter's stroker costs about a millisecond per 500-point wide line.
// The chart takes no mouse or keyboard input.
class StripChartWidget : public QWidget, public ChartControl {
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
    int addY(int series, double y, const QString& label, unsigned color) override;
    int addXY(int series, double x, double y, const QString& label, unsigned color) override;

    void setView3D(bool on) override;
    bool view3D() const override { return view3D_; }
    void setBottomAxisIncrement(double increment) override;
    double bottomAxisIncrement() const { return bottomIncrement_; }

    QWidget* widget() override { return this; }

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

    void scheduleRepaint();
    void repaintDynamic();
    void rebuildStatic();
    void layoutFrame();
    // The background image's gradient, titles and axes (background_layer.cpp).
    void drawStaticBackground(QPainter& painter);
    void drawStaticAxes(QPainter& painter);
    std::vector<double> bottomLabels(double minX, double maxX) const;
    void drawBottomGrid(const std::vector<double>& labels, double minX, double maxX);
    void drawBottomLabels(QPainter& painter, const std::vector<double>& labels, double minX, double maxX);
    void drawSeries2D(double minX, double maxX);
    void drawSeries3D(double minX, double maxX);
    double mapY(double y) const;

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

    static constexpr qint64 kMinFrameMs = 33;
    // Rows per blit onto the widget; larger blits are split across threads by Qt.
    static constexpr int kBlitBand = 64;
    QElapsedTimer lastPaint_;
    QTimer repaintTimer_;

    // Reused across paints so that a paint allocates nothing once warmed up. Outside
    // dynamicRect_ it holds the background once frameStale_ is cleared.
    QImage frameImage_;
    bool frameStale_ = true;
    QPolygonF line_;
    QPolygonF back_;
};

} // namespace veltrano
