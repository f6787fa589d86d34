#include "fakes/fake_chart_control.h"

#include "platform/control_error.h"

namespace veltrano {

void FakeChartControl::countAdd()
{
    ++addCalls_;
    if (failCountdown_ > 0 && --failCountdown_ == 0)
        throw ControlError("chart add failed (injected)");
}

int FakeChartControl::addY(int series, double y, const QString&, unsigned)
{
    countAdd();
    return data_.addY(series, y);
}

int FakeChartControl::addXY(int series, double x, double y, const QString&, unsigned)
{
    countAdd();
    return data_.addXY(series, x, y);
}

} // namespace veltrano
