// The system's serial devices on Linux, numbered through the number file.

#include "serial/port_registry.h"
#include "serial/system_ports.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace veltrano {

namespace {

QString canonicalOrSelf(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

QList<SerialDevice> systemDevices()
{
    const QMap<QString, QString> links = byIdLinks(QStringLiteral("/dev/serial/by-id"));
    QList<SerialDevice> devices;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        SerialDevice device;
        device.path = info.systemLocation();
        device.byId = links.value(canonicalOrSelf(device.path));
        device.manufacturer = info.manufacturer();
        device.description = info.description();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            device.vendorId = info.vendorIdentifier();
            device.productId = info.productIdentifier();
        }
        devices.append(device);
    }
    return devices;
}

} // namespace

SystemPortList numberDevices(const QList<SerialDevice>& present)
{
    const RegistryUpdate update = updateRegistry(portRegistryPath(), present);
    SystemPortList list;
    list.table = update.present;
    for (auto it = list.table.cbegin(); it != list.table.cend(); ++it) {
        for (const SerialDevice& device : present) {
            if (deviceIdentity(device) == it.value())
                list.descriptions.insert(it.key(), describeDevice(device.path, device));
        }
    }
    list.problems = update.problems;
    for (const QString& identity : update.unnumbered)
        list.problems.append(
            QStringLiteral("%1 is not offered: COM1 to COM16 all belong to devices present").arg(identity));
    return list;
}

SystemPortList listSystemPorts() { return numberDevices(systemDevices()); }

QString describeNamedDevice(const QString& device)
{
    const QString canonical = canonicalOrSelf(device);
    const QList<SerialDevice> devices = systemDevices();
    const auto match = std::find_if(devices.begin(), devices.end(),
                                    [&](const SerialDevice& d) { return canonicalOrSelf(d.path) == canonical; });
    SerialDevice listed = match != devices.end() ? *match : SerialDevice{};
    listed.path = canonical;
    return describeDevice(device, listed);
}

} // namespace veltrano
