// The window's driver-protocol handlers: the parameter download with its progress
// indicator, the counter-edge box, and the direct commands RUN, DIV, STOP and TX.
#include "app/form1.h"
#include "protocol/progress.h"

namespace veltrano {

QString Form1::speedFactorText() const { return Text3->text(); }
bool Form1::accelerationChecked() const { return Check1->isChecked(); }
QString Form1::responsesText() const { return Text5->text(); }
QString Form1::speedTestText() const { return Text6->text(); }
int Form1::controlModeIndex() const { return Combo1->listIndex(); }
bool Form1::counterEdgeChecked() const { return Check3->isChecked(); }

void Form1::Command2_Click()
{
    Text2->setText(QStringLiteral("\r"));
    Text7->setText(QString());
    if (MSComm1.portOpen()) {
        progressActive = 1;
        for (int piece = 0; piece < kRecordPieces; ++piece)
            MSComm1.output(toWire(recordPiece(piece, *this)));
        Command1->setEnabled(true);
        Command3->setEnabled(true);
        Command5->setEnabled(true);
    } else {
        Command1->setEnabled(false);
        Command3->setEnabled(false);
        Command5->setEnabled(false);
        Text7->setText(kLoadFailLine);
    }
}

void Form1::Check3_Click()
{
    Check3->setText(Check3->text() == QLatin1String("Falling") ? QStringLiteral("Rising") : QStringLiteral("Falling"));
}

void Form1::ProgressStep()
{
    if (progressActive != 1) {
        ProgressBar1.setVisible(false);
        return;
    }
    const ProgressTick tick = progressTick(ProgressState{progressActive, progressTicks}, ProgressBar1.value());
    ProgressBar1.setValue(tick.barValue);
    if (tick.barShown)
        ProgressBar1.setVisible(true);
    progressTicks = tick.next.ticks;
    if (tick.runEnds) {
        Text7->setText(kOkLine);
        progressActive = tick.next.active;
        ProgressBar1.setValue(0);
    } else {
        Text7->append(kTicker);
        Text7->setSelStart(int(Text7->text().size()));
    }
}

void Form1::Command1_Click()
{
    if (MSComm1.portOpen())
        MSComm1.output(toWire(message::run));
}

void Form1::Command3_Click()
{
    if (MSComm1.portOpen())
        MSComm1.output(toWire(message::div));
}

void Form1::Command5_Click()
{
    if (MSComm1.portOpen())
        MSComm1.output(toWire(message::stop));
}

void Form1::TX_Click()
{
    if (MSComm1.portOpen())
        MSComm1.output(toWire(Text1->text()));
}

// Keys only edit the free text; nothing is sent until TX is clicked.
void Form1::Text1_KeyPress(int& keyAscii) { Q_UNUSED(keyAscii); }

} // namespace veltrano
