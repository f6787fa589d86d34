#pragma once

#include <QString>

namespace veltrano {

class ChartControl;

// The points a chart holds, as CSV: a header "x,Data_0,Data_1,Data_2,Data_3" and one row
// per X, oldest first, with each series' value at that X as plotted (empty where a series
// has no point there). Whole numbers are written without a decimal point.
QString traceTable(const ChartControl& chart);

} // namespace veltrano
