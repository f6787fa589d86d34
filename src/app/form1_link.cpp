// The window's serial-link handlers: the port search (FIND COM and its probe), the connect
// toggle, and what a lost device leaves.
#include "app/captions.h"
#include "app/form1.h"
#include "link/port_names.h"
#include "link/status_messages.h"

#include <exception>

namespace veltrano {

bool Form1::ProbePort(int portNumber)
{
    try {
        MSComm1.setCommPort(static_cast<std::int16_t>(portNumber));
        if (MSComm1.portOpen())
            return false;
        MSComm1.setPortOpen(true);
        portRefusals_.cleared(portNumber);
        MSComm1.setPortOpen(false);
        return true;
    } catch (const PortInUse& refusal) {
        portRefusals_.refused(portNumber, refusal.holder());
        return false;
    } catch (const std::exception&) {
        portRefusals_.cleared(portNumber);
        return false;
    }
}

void Form1::FillPortList(DropDownCombo& list)
{
    MSComm1.rescanPorts();
    bool anyPassed = false;
    for (int number = kFirstPortNumber; number <= kLastPortNumber; ++number) {
        if (!ProbePort(number))
            continue;
        const QString name = portName(number);
        list.addListItem(name, MSComm1.describePort(number));
        Combo4->setText(name);
        anyPassed = true;
    }
    if (!anyPassed)
        Combo4->setText(QStringLiteral("COM ERROR"));
    // A held port is not listed; the box itself says who holds it.
    Combo4->setToolTip(portRefusals_.toolTip());
}

void Form1::CAP_NHAT_Click()
{
    if (MSComm1.portOpen()) {
        MSComm1.setPortOpen(false);
        Text2->setText(status::disconnected);
        Command4->setText(caption::connect);
    }
    Combo4->clearList();
    FillPortList(*Combo4);
    Command1->setEnabled(false);
    Command3->setEnabled(false);
    Command5->setEnabled(false);
    Command2->setEnabled(false);
}

void Form1::Command4_Click()
{
    Text7->setText(QString());
    if (Command4->text() == caption::disconnect)
        disconnectSequence();
    else if (Command4->text() == caption::connect)
        connectSequence();
}

void Form1::connectSequence()
{
    Command4->setText(caption::disconnect);
    Text1->setVisible(true);
    Text2->setVisible(true);
    Text7->setVisible(true);
    Text2->setText(QStringLiteral("\r"));
    int number = 0;
    try {
        number = portNumberOf(Combo4->text());
        if (number == 0) {
            // An unknown name opens nothing: opening the last port probed instead would
            // greet a port the operator never chose.
            Text2->setText(status::unknownPort);
        } else {
            MSComm1.setCommPort(number);
            MSComm1.setPortOpen(true);
            portRefusals_.cleared(number);
            Command2->setEnabled(true);
            MSComm1.setSettings(lineSettingsFor(Combo3->listIndex()));
            MSComm1.setRThreshold(1);
            MSComm1.setInputLen(1);
            if (MSComm1.portOpen()) {
                MSComm1.output(toWire(message::greeting));
                progressActive = 1;
            }
        }
    } catch (const PortInUse& refusal) {
        portRefusals_.refused(number, refusal.holder());
    } catch (const std::exception&) {
        // Any failure after the first steps continues at the final check.
    }
    Combo4->setToolTip(portRefusals_.toolTip());
    if (!MSComm1.portOpen()) {
        Text2->setText(status::notOpen);
        Command4->setText(caption::connect);
        Command2->setEnabled(false);
    }
}

void Form1::disconnectSequence()
{
    Text1->setVisible(false);
    Text2->setVisible(false);
    Text7->setVisible(false);
    Command4->setText(caption::connect);
    Command2->setEnabled(false);
    Text2->setText(QStringLiteral("\r"));
    Text2->setText(status::disconnected);
    if (MSComm1.portOpen()) {
        MSComm1.setPortOpen(false);
        Command1->setEnabled(false);
        Command3->setEnabled(false);
        Command5->setEnabled(false);
        Text2->setText(status::disconnected);
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
    Text2->setText(status::disconnected);
    Command4->setText(caption::connect);
    Command1->setEnabled(false);
    Command3->setEnabled(false);
    Command5->setEnabled(false);
    Command2->setEnabled(false);
}

} // namespace veltrano
