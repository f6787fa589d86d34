#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QProcess;

namespace veltrano::testing {

// Another program holding a serial device: the test binary itself, run again with
// arguments that make it hold the device one way and keep it until its standard input
// closes.

enum class PortHold {
    Open, // a plain open(), as any program does
    Flock, // an open and an exclusive flock, as pyserial's exclusive mode does
    LockFile, // only a lock file in /var/lock naming the holder in UUCP's ASCII form,
    // as terminal programs write it
    Exclusive, // an open and the kernel's exclusive flag (TIOCEXCL)
    QtSerialPort, // a QSerialPort (exclusive flag and lock file)
};

// Call first thing in main(): when the arguments ask for a holder, it runs as one and
// returns its exit code.
std::optional<int> runAsPortHolderIfAsked(int argc, char** argv);

// Starts `process` as a holder of `device`; returns its first line: "held" once it holds
// the device, "failed: <reason>" when it could not (it then exits with 1).
QByteArray startPortHolder(QProcess& process, const QString& device, PortHold how = PortHold::Open);

} // namespace veltrano::testing
