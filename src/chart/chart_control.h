#pragma once

#include <QImage>
#include <QString>

class QWidget;

namespace veltrano {

// The strip-chart control: four series, 0 to 3 in the order they were created, drawn by
// the control itself.
// Positions are in the window's millimetres. Every failing call throws ControlError.
class ChartControl {
public:
    // Colour value that stands for the series' own colour.
    static constexpr unsigned kDefaultColor = 536870912u; // 0x20000000

    virtual ~ChartControl() = default;

    virtual void setTopMm(double top) = 0;
    virtual void setLeftMm(double left) = 0;
    virtual void setVisible(bool visible) = 0;
    virtual bool isVisible() const = 0;
    // Pixels along the chart's bottom edge that the window covers with other controls; the
    // bottom axis and its labels stay above them.
    virtual void setCoveredBottom(int pixels) = 0;

    virtual int seriesCount() const = 0;
    virtual int pointCount(int series) const = 0;
    // Removes the series' oldest point.
    virtual void deleteFirst(int series) = 0;
    // X of the series' last point.
    virtual double lastX(int series) const = 0;
    // The point at index (0: the oldest the series holds).
    virtual double xValue(int series, int index) const = 0;
    virtual double yValue(int series, int index) const = 0;
    // Appends a point; the chart gives it the next X (last X + 1, or 0 on an empty series).
    virtual int addY(int series, double y, const QString& label, unsigned color) = 0;
    virtual int addXY(int series, double x, double y, const QString& label, unsigned color) = 0;

    virtual void setView3D(bool on) = 0;
    virtual bool view3D() const = 0;

    // The one numeric axis setting that start-up writes: the bottom axis' minimum label
    // step, which 1.0 leaves as it is since X always moves in whole steps.
    virtual void setBottomAxisIncrement(double increment) = 0;

    // The widget to place on the window, or nullptr for a control that draws nothing.
    virtual QWidget* widget() = 0;
    // The chart as it is shown now; a null image for a control that draws nothing.
    virtual QImage picture() = 0;
};

} // namespace veltrano
