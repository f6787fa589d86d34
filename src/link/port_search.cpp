// The port search: which of COM1 to COM16 can be opened right now.
#include "app/form1.h"
#include "link/port_names.h"

#include <exception>

namespace veltrano {

bool Form1::ProbePort(int portNumber)
{
    try {
        MSComm1.setCommPort(static_cast<std::int16_t>(portNumber));
        if (MSComm1.portOpen())
            return false;
        MSComm1.setPortOpen(true);
        MSComm1.setPortOpen(false);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void Form1::FillPortList(DropDownCombo& list)
{
    bool anyPassed = false;
    for (int number = kFirstPort; number <= kLastPort; ++number) {
        if (!ProbePort(number))
            continue;
        const QString name = portName(number);
        list.addListItem(name, MSComm1.describePort(number));
        Combo4->setText(name);
        anyPassed = true;
    }
    if (!anyPassed)
        Combo4->setText(QStringLiteral("COM ERROR"));
}

void Form1::CAP_NHAT_Click()
{
    if (MSComm1.portOpen()) {
        MSComm1.setPortOpen(false);
        Text2->setText(QStringLiteral("COM PORT DISCONNECTED"));
        Command4->setText(QStringLiteral("CONNECTING"));
    }
    Combo4->clearList();
    FillPortList(*Combo4);
    Command1->setEnabled(false);
    Command3->setEnabled(false);
    Command5->setEnabled(false);
    Command2->setEnabled(false);
}

} // namespace veltrano
