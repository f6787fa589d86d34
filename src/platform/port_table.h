#pragma once

// The program knows the ports "COM1".."COM16".
//
// Windows: "COMn" is the system's COMn.
//
// Elsewhere: when the environment variable VELTRANO_PORTS is set, it is the whole port
// table, entries separated by ';', e.g.
//     VELTRANO_PORTS="COM3=/dev/ttyUSB0;COM5=/tmp/sim/tty"
// Whitespace around entries is tolerated; malformed entries and names outside
// COM1..COM16 are ignored; a name listed twice keeps its first device; a name the
// table does not list does not exist.
// When VELTRANO_PORTS is unset, COM1, COM2, ... are the serial ports the system lists,
// sorted by device path with digit runs compared as numbers:
//     /dev/ttyACM0 < /dev/ttyS0 < /dev/ttyS2 < /dev/ttyS10 < /dev/ttyUSB0
// Every lookup reads the environment and the system list afresh.

#include <QMap>
#include <QString>
#include <QStringList>

namespace veltrano {

constexpr int firstPortNumber = 1;
constexpr int lastPortNumber = 16;

// Port number -> system device.
using PortTable = QMap<int, QString>;

// "COM<n>", the name of port number n.
QString portName(int number);

// n for "COM<n>" with n in 1..16, letters in any case, as VELTRANO_PORTS may spell it;
// 0 for anything else. The window's own name check is exact (link/port_names.h).
int portNumberFromLenientName(const QString& name);

// Parses the VELTRANO_PORTS text.
PortTable parsePortTable(const QString& text);

// Digit-aware ordering of device paths ("ttyS2" before "ttyS10"); a strict weak order.
bool naturalLess(const QString& a, const QString& b);

// COM1, COM2, ... assigned to the given device paths in natural order (at most 16,
// duplicates dropped).
PortTable portTableFromLocations(QStringList locations);

// The table in effect now (environment or system list).
PortTable currentPortTable();

// The system device of "COM<number>"; empty when the port does not exist.
QString portDevice(int number);

// Device path plus what the system knows about it (manufacturer, product, USB ids),
// for a tooltip; empty when the port does not exist.
QString portDescription(int number);

} // namespace veltrano
