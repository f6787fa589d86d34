// The connect toggle: opens the chosen port with the chosen line settings and greets the
// driver, or closes it again.
#include "app/form1.h"
#include "link/port_names.h"

#include <exception>

namespace veltrano {

void Form1::Command4_Click()
{
    Text7->setText(QString());
    if (Command4->text() == QLatin1String("DISCONECT"))
        disconnectSequence();
    else if (Command4->text() == QLatin1String("CONNECTING"))
        connectSequence();
}

void Form1::connectSequence()
{
    Command4->setText(QStringLiteral("DISCONECT"));
    Text1->setVisible(true);
    Text2->setVisible(true);
    Text7->setVisible(true);
    Text2->setText(QStringLiteral("\r"));
    try {
        const int number = portNumberOf(Combo4->text());
        if (number == 0) {
            // An unknown name opens nothing: opening the last port probed instead would
            // greet a port the operator never chose.
            Text2->setText(QStringLiteral("CÔNG COM KHONG TON TAI"));
        } else {
            MSComm1.setCommPort(number);
            MSComm1.setPortOpen(true);
            Command2->setEnabled(true);
            MSComm1.setSettings(lineSettingsFor(Combo3->listIndex()));
            MSComm1.setRThreshold(1);
            MSComm1.setInputLen(1);
            if (MSComm1.portOpen()) {
                MSComm1.output(toWire(message::greeting));
                progressActive = 1;
            }
        }
    } catch (const std::exception&) {
        // Any failure after the first steps continues at the final check.
    }
    if (!MSComm1.portOpen()) {
        Text2->setText(QStringLiteral("COM PORT DOES NOT HAVE"));
        Command4->setText(QStringLiteral("CONNECTING"));
        Command2->setEnabled(false);
    }
}

void Form1::disconnectSequence()
{
    Text1->setVisible(false);
    Text2->setVisible(false);
    Text7->setVisible(false);
    Command4->setText(QStringLiteral("CONNECTING"));
    Command2->setEnabled(false);
    Text2->setText(QStringLiteral("\r"));
    Text2->setText(QStringLiteral("COM PORT DISCONNECTED"));
    if (MSComm1.portOpen()) {
        MSComm1.setPortOpen(false);
        Command1->setEnabled(false);
        Command3->setEnabled(false);
        Command5->setEnabled(false);
        Text2->setText(QStringLiteral("COM PORT DISCONNECTED"));
    }
}

// The adapter went away under the open port. The window goes to the state the port search
// leaves after dropping a connection, so that the toggle offers CONNECTING and the driver
// buttons no longer suggest a line that is gone; the boxes, the progress indicator and the
// port list stay as they are.
void Form1::MSComm1_DeviceLost()
{
    if (MSComm1.portOpen())
        return; // opened again since: that connection is alive
    Text2->setText(QStringLiteral("COM PORT DISCONNECTED"));
    Command4->setText(QStringLiteral("CONNECTING"));
    Command1->setEnabled(false);
    Command3->setEnabled(false);
    Command5->setEnabled(false);
    Command2->setEnabled(false);
}

} // namespace veltrano
