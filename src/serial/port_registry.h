#pragma once

// Port numbers that stay put. Each serial device gets a number by a stable identity and
// keeps it across searches, replugs and runs, the way desktops number their COM ports.
// The numbers live in a small file in the user's configuration directory, one
// "COM<n>=<identity>" a line:
//     # veltrano port numbers: COM<n>=<device>, the device's /dev/serial/by-id name or its path
//     COM1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
//     COM2=/dev/ttyS0
// Everything here but the file and directory helpers is pure.

#include "serial/port_table.h"
#include "serial/system_ports.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace veltrano {

// One serial device as the system lists it.
struct SerialDevice {
    QString path{}; // system device, e.g. /dev/ttyUSB0
    QString byId{}; // its /dev/serial/by-id link, when it has one
    QString manufacturer{};
    QString description{};
    int vendorId = -1; // USB ids, -1 when unknown
    int productId = -1;

    bool operator==(const SerialDevice&) const = default;
};

// What the device is known by: its by-id link, else its path. Opening the identity reaches
// this very device or nothing: a by-id link goes where the device is now, and is gone with it.
QString deviceIdentity(const SerialDevice& device);

// USB adapters and ACM modems (USB ids, a by-id link, or a ttyUSB/ttyACM name): numbered
// before other UARTs when first seen together.
bool isUsbOrAcm(const SerialDevice& device);

struct Numbering {
    PortMap table; // number -> identity, the known devices with the new ones
    QStringList unnumbered; // identities of present devices left without a number
};

// The known table with numbers for the present devices it lacks. Known devices keep their
// numbers, present or not. New devices, USB and ACM first and each group in natural path
// order, take the lowest free number; with none free, the lowest number of a known device
// that is not present.
Numbering assignNumbers(const PortMap& known, const QList<SerialDevice>& present);

struct RegistryText {
    PortMap table;
    QStringList foreign; // one text per line that is not the file's own, naming it
    QStringList problems; // one text per number or device given twice, naming it
};

// The registry file's text. Blank lines and lines starting with '#' are skipped; every
// other line is "COM<n>=<absolute path>", or the file is not a number file (foreign).
// Numbers or identities given twice (the first wins) are left out and named in the problems.
RegistryText parseRegistry(const QString& text);
QString formatRegistry(const PortMap& table);

// $XDG_CONFIG_HOME/veltrano/ports; ~/.config/veltrano/ports when that is unset or relative.
QString portRegistryPath();

// Real device path -> its link in the given directory (the system's is /dev/serial/by-id);
// where several links lead to one device, the first in natural order.
QMap<QString, QString> byIdLinks(const QString& directory);

struct RegistryUpdate {
    PortMap present; // number -> identity of each present, numbered device
    QStringList unnumbered;
    QStringList problems; // a file moved aside or left alone, a failed write
};

// Reads the registry file, numbers the present devices and writes the file back when it
// changed or held a number twice (whole or not at all, creating the directory; through a
// link to a file of ours). A file with a line that is not ours, or a link that leads to
// no file, is never written: the entry is moved aside (registry_file.h) and a fresh file
// started with the numbers it held. Never fails: a file that cannot be read (or a folder
// in its place) is left as it is and the numbers hold for this run, with the problem
// reported.
RegistryUpdate updateRegistry(const QString& file, const QList<SerialDevice>& present);

// The present devices numbered through the number file, with their tooltips (the system's
// list on Linux; tests hand in their own).
SystemPortList numberDevices(const QList<SerialDevice>& present);

// Tooltip text: the path as the table gives it (with where it leads, when the device is
// elsewhere), the by-id name, the maker, the product and the USB ids.
QString describeDevice(const QString& path, const SerialDevice& device);

} // namespace veltrano
