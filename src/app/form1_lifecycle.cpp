// Start-up into the setup view, the switch between the setup and chart views, and closing.
#include "app/captions.h"
#include "app/form1.h"
#include "link/status_messages.h"
#include "platform/units.h"

namespace veltrano {

namespace {
constexpr int kSetupWidth = 11280, kSetupHeight = 9100; // twips
constexpr int kChartWidth = 14430, kChartHeight = 9915;
constexpr double kWideText2Mm = 101.865, kWideText7Mm = 101.865, kWideText1Mm = 93.5;
constexpr double kNarrowText2Mm = 38.365, kNarrowText7Mm = 38.365, kNarrowText1Mm = 29.898;
} // namespace

void Form1::Form_Load()
{
    Text1->setVisible(false);
    Text2->setVisible(false);
    Text7->setVisible(false);

    TChart1.setTopMm(0);
    TChart1.setLeftMm(42);
    TChart1.setVisible(false);

    Check4->setVisible(false);
    Check2->setVisible(false);
    HScroll1->setVisible(false);
    Text4->setVisible(false);

    setWindowWidthTwips(kSetupWidth);
    setWindowHeightTwips(kSetupHeight);

    Text7->setWidthPixels(mmToPixels(kWideText7Mm));
    Text1->setWidthPixels(mmToPixels(kWideText1Mm));
    Text2->setWidthPixels(mmToPixels(kWideText2Mm));

    if (!MSComm1.portOpen())
        FillPortList(*Combo4);

    TChart1.setBottomAxisIncrement(1.0);
    for (int series = 0; series < 4; ++series)
        TChart1.addY(series, 0, QString(), ChartControl::kDefaultColor);
    TChart1.setVisible(false);
}

void Form1::Draw_Click()
{
    const QString view = Draw->text();
    if (view == caption::chartView) {
        Text2->setWidthPixels(mmToPixels(kWideText2Mm));
        Draw->setText(caption::setupView);
        showChartOptions(false);
        setWindowWidthTwips(kSetupWidth);
        setWindowHeightTwips(kSetupHeight);
        Text7->setWidthPixels(mmToPixels(kWideText7Mm));
        Text1->setWidthPixels(mmToPixels(kWideText1Mm));
    } else if (view == caption::setupView) {
        setWindowHeightTwips(kChartHeight);
        setWindowWidthTwips(kChartWidth);
        Text2->setWidthPixels(mmToPixels(kNarrowText2Mm));
        Text7->setWidthPixels(mmToPixels(kNarrowText7Mm));
        Text1->setWidthPixels(mmToPixels(kNarrowText1Mm));
        Draw->setText(caption::chartView);
        showChartOptions(true);
        Text2->setText(QStringLiteral("\r"));
        if (MSComm1.portOpen())
            MSComm1.output(toWire(message::poll));
        if (!MSComm1.portOpen()) {
            Text2->setText(status::notOpen);
            Command4->setText(caption::connect);
            Command2->setEnabled(false);
        }
    }
}

// The chart with its options in front of it, and the counter-edge box they cover.
void Form1::showChartOptions(bool shown)
{
    Check4->setVisible(shown);
    TChart1.setVisible(shown);
    Check3->setVisible(!shown);
    Check2->setVisible(shown);
    HScroll1->setVisible(shown);
    Text4->setVisible(shown);
}

// Nothing goes to the driver on the way out.
void Form1::End_Click() { close(); }

// Every way of closing passes here (End, the desktop, a signal, the session's end): a
// recording keeps what it holds, and the port closes, and its lock goes, at once, since at
// the session's end nothing runs after this.
void Form1::closeEvent(QCloseEvent* event)
{
    stopRecording(false);
    if (MSComm1.portOpen())
        MSComm1.setPortOpen(false);
    QWidget::closeEvent(event);
}

} // namespace veltrano
