#include "app/real_parts.h"

#include "app/art.h"
#include "chart/strip_chart_widget.h"
#include "controls/qt_progress_bar.h"
#include "serial/line_serial_control.h"
#include "timer/qt_tick_timer.h"

namespace veltrano {

Form1Parts realParts(std::shared_ptr<PortTable> ports)
{
    Form1Parts parts;
    parts.serial = std::make_unique<LineSerialControl>(std::move(ports));
    parts.timer = std::make_unique<QtTickTimer>();
    auto chart = std::make_unique<StripChartWidget>();
    chart->setLegendPicture(legendPicture());
    parts.chart = std::move(chart);
    parts.progressBar = std::make_unique<QtProgressBar>();
    return parts;
}

} // namespace veltrano
