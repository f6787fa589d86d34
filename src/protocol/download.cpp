// The parameter download, the counter-edge box, and the progress indicator.
#include "app/form1.h"

namespace veltrano {

namespace {
const QString kOkLine = QString(40, QLatin1Char('-')) + QStringLiteral("____OK____") + QString(44, QLatin1Char('-'));
const QString kLoadFailLine =
    QString(32, QLatin1Char('-')) + QStringLiteral("load fail") + QString(36, QLatin1Char('-'));
constexpr float kBarStep = 2;
constexpr float kBarCeiling = 100;
constexpr int kTicksPerRun = 60; // the run ends on the tick that passes this count
} // namespace

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
    Check3->setText(Check3->text() == QLatin1String("Falling") ? QStringLiteral("Rising")
                                                                : QStringLiteral("Falling"));
}

void Form1::ProgressStep()
{
    if (progressActive != 1) {
        ProgressBar1.setVisible(false);
        return;
    }
    const float value = ProgressBar1.value();
    if (value >= kBarCeiling) {
        ProgressBar1.setValue(kBarCeiling);
    } else {
        ProgressBar1.setValue(value + kBarStep);
        ProgressBar1.setVisible(true);
    }
    progressTicks += 1;
    if (progressTicks > kTicksPerRun) {
        Text7->setText(kOkLine);
        progressTicks = 0;
        progressActive = 0;
        ProgressBar1.setValue(0);
    } else {
        Text7->append(QStringLiteral(">"));
        Text7->setSelStart(int(Text7->text().size()));
    }
}

} // namespace veltrano
