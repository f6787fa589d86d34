// RUN, DIV, STOP and TX: one write each, only while the port is open.
#include "app/form1.h"

namespace veltrano {

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
void Form1::Text1_KeyPress(int& keyAscii)
{
    Q_UNUSED(keyAscii);
}

} // namespace veltrano
