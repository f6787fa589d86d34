// The window's live-monitor handlers: received characters (a reply log in the setup view,
// sample frames in the chart view), the timer tick and the pause box.
#include "app/captions.h"
#include "app/form1.h"
#include "monitor/frame_decode.h"
#include "monitor/strip_window.h"

namespace veltrano {

void Form1::MSComm1_OnComm()
{
    if (MSComm1.commEvent() != SerialControl::kComEvReceive)
        return;
    const QString received = fromWire(MSComm1.input());

    if (Draw->text() == caption::setupView) {
        Text2->append(received);
        Text2->setSelStart(int(Text2->text().size()));
        progressActive = 1;
        if (logOverflows(Text2->text()))
            Text2->setText(kBoxRestart);
        return;
    }

    Text2->append(received);
    switch (chartBoxStep(Text2->text())) {
    case BoxStep::Decode: {
        const FrameDecode decoded = decodeFrame(Text2->text(), Sample{data0, data1, data2, data3});
        data0 = decoded.sample.data0;
        data1 = decoded.sample.data1;
        data2 = decoded.sample.data2;
        data3 = decoded.sample.data3;
        frameIndex = decoded.frameIndex;
        recordFrame();
        Text7->setText(decoded.lastData);
        Text2->setText(decoded.box);
        break;
    }
    case BoxStep::Restart: Text2->setText(kBoxRestart); break;
    case BoxStep::Wait: break;
    }
}

void Form1::Timer1_Timer()
{
    ProgressStep();
    if (Draw->text() != caption::chartView)
        return;
    PlotSample();
    if (MSComm1.portOpen())
        MSComm1.output(toWire(message::poll));
    else
        Text7->setText(kPortClosedNotice);
}

// A tick does something only while a progress run goes on or its bar is still shown, or
// in the chart view; otherwise the timer may rest (Timer1_Timer would change nothing).
bool Form1::tickHasWork() const
{
    return progressActive == 1 || ProgressBar1.isVisible() || Draw->text() == caption::chartView;
}

void Form1::Check4_Click() { Timer1.setEnabled(!Check4->isChecked()); }

} // namespace veltrano
