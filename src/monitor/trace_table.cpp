#include "monitor/trace_table.h"

#include "chart/chart_control.h"

#include <QLocale>
#include <QStringList>

#include <cmath>
#include <map>
#include <vector>

namespace veltrano {

namespace {

QString number(double value)
{
    // Below 2^53 a whole double is an exact integer; beyond, and for fractions, the
    // shortest text that reads back as the same double.
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9007199254740992.0)
        return QString::number(qint64(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

QByteArray runRow(qint64 milliseconds, double x, const Sample& sample)
{
    return QStringLiteral("%1,%2,%3,%4,%5,%6\n")
        .arg(milliseconds)
        .arg(number(x))
        .arg(sample.data0.value_or(0))
        .arg(sample.data1.value_or(0))
        .arg(sample.data2.value_or(0))
        .arg(sample.data3)
        .toLatin1();
}

QString traceTable(const ChartControl& chart)
{
    constexpr int kColumns = 4;
    const int count = std::min(chart.seriesCount(), kColumns);
    // The window adds one point per series and tick at one X; rows follow X, so a series
    // that is shorter or runs elsewhere still lines up.
    std::map<double, std::vector<QString>> rows;
    for (int series = 0; series < count; ++series) {
        for (int i = 0; i < chart.pointCount(series); ++i) {
            const double x = chart.xValue(series, i);
            if (std::isnan(x))
                continue; // no place on the axis, and no order among the rows
            std::vector<QString>& row = rows[x];
            row.resize(kColumns);
            row[std::size_t(series)] = number(chart.yValue(series, i));
        }
    }
    QString table = QStringLiteral("x,Data_0,Data_1,Data_2,Data_3\n");
    for (const auto& [x, values] : rows) {
        table += number(x);
        for (const QString& value : values)
            table += QLatin1Char(',') + value;
        table += QLatin1Char('\n');
    }
    return table;
}

} // namespace veltrano
