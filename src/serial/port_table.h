#pragma once

// The program knows the ports "COM1".."COM16"; a PortTable says what each of them is.
//
// Windows: "COMn" is the system's COMn, as the system lists its ports at the last search.
//
// Elsewhere: a table built from VELTRANO_PORTS is fixed, the whole table, entries
// separated by ';', e.g.
//     VELTRANO_PORTS="COM3=/dev/ttyUSB0;COM5=/tmp/sim/tty"
// Whitespace around entries is tolerated; malformed entries and names outside
// COM1..COM16 are ignored and named on standard error, once; a name listed twice keeps
// its first device; a name the table does not list does not exist.
// Without it, each serial device the system lists keeps the number it was first given
// (port_registry.h). The numbers are taken when a search starts (rescan) and hold until
// the next: a device gone since does not exist, and no other device takes its name.
//
// One port may be the simulated driver board (--simulate): it keeps its number, and a
// device of the system's with that number is out of reach for the run (named on standard
// error once).

#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace veltrano {

struct SerialDevice;
struct SystemPortList;
class SimulatedBoard;

constexpr int kFirstPortNumber = 1;
constexpr int kLastPortNumber = 16;

// Port number -> system device.
using PortMap = QMap<int, QString>;

// "COM<n>", the name of port number n.
QString portName(int number);

// n for "COM<n>" with n in 1..16, letters in any case, as VELTRANO_PORTS may spell it;
// 0 for anything else. The window's own name check is exact (link/port_names.h).
int portNumberFromLenientName(const QString& name);

// Parses the VELTRANO_PORTS text; each entry left out goes to rejected, with the reason.
PortMap parsePortTable(const QString& text, QStringList* rejected = nullptr);

// Digit-aware ordering of device paths ("ttyS2" before "ttyS10"); a strict weak order.
bool naturalLess(const QString& a, const QString& b);

// Windows: the system's own "COM<n>" names mapped to themselves; names outside COM1..COM16
// go to unnumbered.
PortMap systemComPorts(const QStringList& names, QStringList* unnumbered);

class PortTable {
public:
    // The system's devices, numbered through the number file (port_registry.h).
    PortTable();
    // Exactly these devices: no system list, no number file.
    explicit PortTable(const PortMap& fixed);
    ~PortTable();
    PortTable(const PortTable&) = delete;
    PortTable& operator=(const PortTable&) = delete;

    // The table a run starts with, read from the environment once: VELTRANO_PORTS when it
    // is set (its rejected entries named on standard error), else the system's devices.
    static std::shared_ptr<PortTable> fromEnvironment();

    // From now on exactly these devices, as a fixed table.
    void setFixed(const PortMap& fixed);

    // Puts the simulated board at "COM<number>" for as long as the table lives.
    void placeSimulatedBoard(int number, std::shared_ptr<SimulatedBoard> board);
    // The board at "COM<number>"; null when that port is not the simulated one.
    std::shared_ptr<SimulatedBoard> simulatedBoard(int number) const;

    // Takes the system's devices and their numbers afresh, for the lookups until the next
    // call (a fixed table stays as it is). Reports on standard error, once per table, what
    // needs the user: a damaged or unwritable number file, devices left without a number.
    void rescan();
#ifndef Q_OS_WIN
    // The same with the given devices standing in for the system's, through the same
    // number file.
    void rescan(const QList<SerialDevice>& present);
#endif

    // Port number -> system device, as in effect now (the first lookup of a system table
    // takes the devices when no rescan did yet). The simulated board is not in it.
    PortMap devices() const;
    // The system device of "COM<number>"; empty when there is none.
    QString device(int number) const;
    // For a tooltip: the device path plus what the system knows about it (by-id name,
    // maker, product, USB ids), or "simulated driver board"; empty when the port does
    // not exist.
    QString describe(int number) const;

private:
    struct State;
    void takeLocked(const SystemPortList& list) const;
    void takeSnapshotLocked() const;
    void reportOnce(const QString& text) const;
    void dropSimulatedNumberLocked() const;

    mutable QMutex lock_;
    std::unique_ptr<State> state_;
};

} // namespace veltrano
