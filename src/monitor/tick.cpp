// The timer tick and the pause box.
#include "app/form1.h"

namespace veltrano {

void Form1::Timer1_Timer()
{
    ProgressStep();
    if (Draw->text() != QLatin1String("Stop"))
        return;
    PlotSample();
    if (MSComm1.portOpen())
        MSComm1.output(toWire(message::poll));
    else
        Text7->setText(QStringLiteral("MSComm = False "));
}

void Form1::Check4_Click()
{
    Timer1.setEnabled(!Check4->isChecked());
}

} // namespace veltrano
