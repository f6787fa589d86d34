// The strip chart's handlers: PlotSample (one point per series and tick in a window whose
// length the scroll bar sets), the window-length echo and the 3D switch.
#include "app/form1.h"
#include "monitor/strip_window.h"

namespace veltrano {

void Form1::PlotSample()
{
    for (int series = 0; series < 4; ++series) {
        const int count = TChart1.pointCount(series);
        const int window = HScroll1->value();
        if (dropsOldest(count, window))
            TChart1.deleteFirst(series);
        const double lastX = TChart1.lastX(series);
        double value = 0;
        switch (series) {
        case 0: value = data0.value_or(0); break;
        case 1: value = data1.value_or(0); break;
        case 2: value = data2.value_or(0); break;
        default: value = data3; break;
        }
        TChart1.addXY(series, nextX(lastX), value, QString(), ChartControl::kDefaultColor);
    }
}

void Form1::HScroll1_Change() { Text4->setText(QString::number(HScroll1->value())); }

void Form1::Check2_Click() { TChart1.setView3D(Check2->isChecked()); }

} // namespace veltrano
