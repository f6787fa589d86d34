#pragma once

// The program knows the ports "COM1".."COM16".
//
// Windows: "COMn" is the system's COMn, as the system lists its ports at the last search.
//
// Elsewhere: when the environment variable VELTRANO_PORTS is set, it is the whole port
// table, entries separated by ';', e.g.
//     VELTRANO_PORTS="COM3=/dev/ttyUSB0;COM5=/tmp/sim/tty"
// Whitespace around entries is tolerated; malformed entries and names outside
// COM1..COM16 are ignored and named on standard error, once per process; a name listed
// twice keeps its first device; a name the table does not list does not exist. Every
// lookup reads the variable afresh.
// When VELTRANO_PORTS is unset, each serial device the system lists keeps the number it
// was first given (port_registry.h). The numbers are taken when a search starts
// (rescanPortTable) and hold until the next: a device gone since does not exist, and no
// other device takes its name.

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

// Parses the VELTRANO_PORTS text; each entry left out goes to rejected, with the reason.
PortTable parsePortTable(const QString& text, QStringList* rejected = nullptr);

// Digit-aware ordering of device paths ("ttyS2" before "ttyS10"); a strict weak order.
bool naturalLess(const QString& a, const QString& b);

// Takes the system's devices and their numbers afresh, for the lookups until the next call.
// Reports on standard error, once per process, what needs the user: a damaged or
// unwritable number file, devices left without a number.
void rescanPortTable();

// The table in effect now (environment, or the system's devices at the last rescan; the
// first lookup of a process rescans when nothing did yet).
PortTable currentPortTable();

// The system device of "COM<number>"; empty when the port does not exist.
QString portDevice(int number);

// Device path plus what the system knows about it (by-id name, manufacturer, product, USB
// ids), for a tooltip; empty when the port does not exist.
QString portDescription(int number);

} // namespace veltrano
