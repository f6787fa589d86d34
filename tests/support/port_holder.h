#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QProcess;

namespace veltrano::testing {

// Another program holding a serial device: the test binary itself, run again with an
// argument that makes it open the device with a plain QSerialPort and keep it until its
// standard input closes.

// Call first thing in main(): when the arguments ask for a holder, it runs as one and
// returns its exit code.
std::optional<int> runAsPortHolderIfAsked(int argc, char** argv);

// Starts `process` as a holder of `device`; returns its first line: "held" once it holds
// the device, "failed: <reason>" when it could not open it.
QByteArray startPortHolder(QProcess& process, const QString& device);

} // namespace veltrano::testing
