#pragma once

#include "monitor/frame_decode.h"

#include <QByteArray>
#include <QString>

namespace veltrano {

class ChartControl;

// The points a chart holds, as CSV: a header "x,Data_0,Data_1,Data_2,Data_3" and one row
// per X, oldest first, with each series' value at that X as plotted (empty where a series
// has no point there). Whole numbers are written without a decimal point.
QString traceTable(const ChartControl& chart);

// A recording of a whole run: this header, then one row per decoded frame with the
// milliseconds since the recording began, the X the chart plots the frame at and its four
// values as plotted (an empty value as 0).
inline constexpr char kRunHeader[] = "t_ms,x,Data_0,Data_1,Data_2,Data_3\n";
QByteArray runRow(qint64 milliseconds, double x, const Sample& sample);

} // namespace veltrano
