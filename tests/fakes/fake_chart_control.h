#pragma once

#include "chart/chart_control.h"
#include "chart/series_buffer.h"
#include "platform/control_error.h"

namespace veltrano {

// A chart for tests: the real chart's point rules without drawing; records what the
// program set and can be told to fail at a chosen add call.
class FakeChartControl : public ChartControl {
public:
    // The nth add call from now on (1 = the next one, counting addY and addXY) throws
    // ControlError without adding its point; later calls succeed again. 0 disarms.
    void failAtAdd(int nthCall) { failCountdown_ = nthCall; }
    int addCalls() const { return addCalls_; }

    double topMm() const { return topMm_; }
    double leftMm() const { return leftMm_; }
    double bottomAxisIncrement() const { return increment_; }
    int coveredBottom() const { return coveredBottom_; }
    const SeriesBuffer& series(int index) const { return data_.series(index); }

    void setTopMm(double top) override { topMm_ = top; }
    void setLeftMm(double left) override { leftMm_ = left; }
    void setVisible(bool visible) override { visible_ = visible; }
    bool isVisible() const override { return visible_; }
    void setCoveredBottom(int pixels) override { coveredBottom_ = pixels; }

    int seriesCount() const override { return data_.seriesCount(); }
    int pointCount(int series) const override { return data_.pointCount(series); }
    void deleteFirst(int series) override { data_.deleteFirst(series); }
    double lastX(int series) const override { return data_.lastX(series); }
    double xValue(int series, int index) const override { return point(series, index).x; }
    double yValue(int series, int index) const override { return point(series, index).y; }
    int addY(int series, double y, const QString& label, unsigned color) override;
    int addXY(int series, double x, double y, const QString& label, unsigned color) override;

    void setView3D(bool on) override { view3D_ = on; }
    bool view3D() const override { return view3D_; }
    void setBottomAxisIncrement(double increment) override { increment_ = increment; }

    QWidget* widget() override { return nullptr; }
    QImage picture() override { return {}; }

private:
    const ChartPoint& point(int series, int index) const
    {
        const SeriesBuffer& points = data_.series(series);
        if (index < 0 || index >= points.size())
            throw ControlError("point index out of range");
        return points[index];
    }
    void countAdd();

    SeriesSet data_;
    int failCountdown_ = 0;
    int addCalls_ = 0;
    double topMm_ = 0.0;
    double leftMm_ = 0.0;
    double increment_ = 0.0;
    int coveredBottom_ = 0;
    bool visible_ = true;
    bool view3D_ = false;
};

} // namespace veltrano
