#pragma once

// The serial ports the system has now, numbered COM1..COM16: one implementation per system
// (system_ports_linux.cpp, system_ports_win.cpp), chosen by the build.

#include "serial/port_table.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace veltrano {

struct SystemPortList {
    PortMap table; // number -> what to open
    QMap<int, QString> descriptions; // number -> what a tooltip says of it
    QStringList problems; // what needs the user, for standard error
};

// The system's ports now. On Linux each device keeps the number it was first given
// (port_registry.h); on Windows a port is the system's own COMn.
SystemPortList listSystemPorts();

// What a tooltip says of a device that a fixed table names.
QString describeNamedDevice(const QString& device);

} // namespace veltrano
