// The system's serial ports on Windows: the COMn names the system lists, with the friendly
// name and maker that Windows knows for them.

#include "serial/system_ports.h"

#include <windows.h>
// After windows.h.
#include <devguid.h>
#include <setupapi.h>

namespace veltrano {

namespace {

// The names in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: every port the system has now.
QStringList listedPortNames()
{
    QStringList names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t valueName[256];
        DWORD valueNameLength = 256;
        wchar_t data[64];
        DWORD dataBytes = sizeof data;
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, i, valueName, &valueNameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        names.append(QString::fromWCharArray(data, int(dataBytes / sizeof(wchar_t))).section(QChar(0), 0, 0));
    }
    RegCloseKey(key);
    return names;
}

QString registryText(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property)
{
    wchar_t text[512];
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &type, reinterpret_cast<BYTE*>(text),
                                           sizeof text - sizeof(wchar_t), nullptr))
        return {};
    text[511] = 0;
    return QString::fromWCharArray(text); // a multi-string's first entry
}

// "COMn" -> "USB-SERIAL CH340 (COM3), wch.cn, USB 1A86:7523", for the ports that Windows
// knows as devices of the Ports class.
QMap<QString, QString> portDescriptions()
{
    QMap<QString, QString> descriptions;
    const HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return descriptions;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        QString portName;
        if (HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
            key != INVALID_HANDLE_VALUE) {
            wchar_t name[64];
            DWORD bytes = sizeof name - sizeof(wchar_t);
            DWORD type = 0;
            if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &bytes)
                    == ERROR_SUCCESS
                && type == REG_SZ) {
                name[bytes / sizeof(wchar_t)] = 0;
                portName = QString::fromWCharArray(name);
            }
            RegCloseKey(key);
        }
        if (portName.isEmpty())
            continue;
        QStringList details;
        const QString friendly = registryText(devices, device, SPDRP_FRIENDLYNAME);
        details.append(friendly.isEmpty() ? registryText(devices, device, SPDRP_DEVICEDESC) : friendly);
        details.append(registryText(devices, device, SPDRP_MFG));
        // "USB\VID_1A86&PID_7523&REV_0254": the USB ids.
        const QString hardware = registryText(devices, device, SPDRP_HARDWAREID).toUpper();
        const qsizetype vid = hardware.indexOf(QLatin1String("VID_"));
        const qsizetype pid = hardware.indexOf(QLatin1String("PID_"));
        if (vid >= 0 && pid >= 0)
            details.append(QStringLiteral("USB %1:%2").arg(hardware.mid(vid + 4, 4), hardware.mid(pid + 4, 4)));
        details.removeAll(QString());
        descriptions.insert(portName.toUpper(), details.join(QStringLiteral(", ")));
    }
    SetupDiDestroyDeviceInfoList(devices);
    return descriptions;
}

} // namespace

SystemPortList listSystemPorts()
{
    SystemPortList list;
    QStringList unnumbered;
    list.table = systemComPorts(listedPortNames(), &unnumbered);
    const QMap<QString, QString> descriptions = portDescriptions();
    for (auto it = list.table.cbegin(); it != list.table.cend(); ++it) {
        const QString known = descriptions.value(it.value().toUpper());
        list.descriptions.insert(it.key(), known.isEmpty() ? it.value() : known);
    }
    for (const QString& name : std::as_const(unnumbered))
        list.problems.append(QStringLiteral("%1 is not offered: the program knows COM1 to COM16 only").arg(name));
    return list;
}

QString describeNamedDevice(const QString& device) { return device; }

} // namespace veltrano
