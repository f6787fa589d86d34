#pragma once

#include "serial/byte_line.h"

#include <QString>

namespace veltrano {

// A line on a serial device of the system's; nothing is touched before open. name is
// the port's "COM<n>" and device what the port table maps it to, for the messages.
// One implementation per system (system_line_linux.cpp, ...), chosen by the build.
ByteLine* makeSystemLine(const QString& name, const QString& device, QObject* parent);

} // namespace veltrano
