#include "serial/port_table.h"

#include "serial/port_registry.h"

#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QSet>

#include <algorithm>
#include <optional>

namespace veltrano {

namespace {

#ifndef Q_OS_WIN
const char* const portsVariable = "VELTRANO_PORTS";

QString canonicalOrSelf(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}
#endif

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Index past the digit run starting at i.
qsizetype digitRunEnd(const QString& s, qsizetype i)
{
    while (i < s.size() && isAsciiDigit(s.at(i)))
        ++i;
    return i;
}

// <0, 0, >0 comparing two digit runs by value, whatever their length.
int compareNumbers(QStringView a, QStringView b)
{
    auto stripZeros = [](QStringView v) {
        qsizetype i = 0;
        while (i + 1 < v.size() && v.at(i) == u'0')
            ++i;
        return v.mid(i);
    };
    a = stripZeros(a);
    b = stripZeros(b);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

QString portName(int number) { return QStringLiteral("COM%1").arg(number); }

int portNumberFromLenientName(const QString& name)
{
    if (name.size() < 4 || !name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        return 0;
    const QStringView digits = QStringView(name).mid(3);
    // Only the canonical spelling: no sign, no leading zero, no spaces.
    if (digits.front() == u'0' || !std::all_of(digits.begin(), digits.end(), isAsciiDigit))
        return 0;
    bool ok = false;
    const int number = digits.toInt(&ok);
    return ok && number >= firstPortNumber && number <= lastPortNumber ? number : 0;
}

PortTable parsePortTable(const QString& text, QStringList* rejected)
{
    // "COM3=/dev/a,COM5=/dev/b": another entry run into the device text.
    static const QRegularExpression runOn(QStringLiteral("[,\\s]\\s*COM\\d+\\s*="),
                                          QRegularExpression::CaseInsensitiveOption);
    PortTable table;
    const QStringList entries = text.split(u';', Qt::SkipEmptyParts);
    for (const QString& rawEntry : entries) {
        const QString entry = rawEntry.trimmed();
        if (entry.isEmpty())
            continue;
        const qsizetype eq = entry.indexOf(u'=');
        const int number = eq > 0 ? portNumberFromLenientName(entry.left(eq).trimmed()) : 0;
        const QString device = eq > 0 ? entry.mid(eq + 1).trimmed() : QString();
        QString why;
        if (eq <= 0)
            why = QStringLiteral("not COM<n>=<device>");
        else if (number == 0)
            why = QStringLiteral("not a name from COM1 to COM16");
        else if (device.isEmpty())
            why = QStringLiteral("no device");
        else if (device.contains(runOn))
            why = QStringLiteral("two entries in one: separate entries with ';'");
        else if (table.contains(number))
            why = QStringLiteral("%1 listed before").arg(portName(number));
        else
            table.insert(number, device);
        if (!why.isEmpty() && rejected)
            rejected->append(QStringLiteral("\"%1\" ignored: %2").arg(entry, why));
    }
    return table;
}

bool naturalLess(const QString& a, const QString& b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a.at(i)) && isAsciiDigit(b.at(j))) {
            const qsizetype ie = digitRunEnd(a, i);
            const qsizetype je = digitRunEnd(b, j);
            const int c = compareNumbers(QStringView(a).mid(i, ie - i), QStringView(b).mid(j, je - j));
            if (c != 0)
                return c < 0;
            i = ie;
            j = je;
            continue;
        }
        if (a.at(i) != b.at(j))
            return a.at(i) < b.at(j);
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return j < b.size() && i == a.size();
    // Equal by value ("ttyS01" and "ttyS1"): fall back to the plain order so that
    // distinct paths never compare equivalent.
    return a < b;
}

namespace {

QMutex& stateLock()
{
    static QMutex lock;
    return lock;
}

// Each text once per process: a search repeats what nothing has changed.
void report(const QString& text)
{
    static QSet<QString> reported;
    if (reported.contains(text))
        return;
    reported.insert(text);
    qWarning("veltrano: %s", qPrintable(text));
}

// The table and devices of the last rescan.
struct Snapshot {
    bool taken = false;
    PortTable table;                  // number -> what to open
    QMap<int, SerialDevice> devices;  // number -> the device as it was listed
};

Snapshot& snapshot()
{
    static Snapshot s;
    return s;
}

#ifdef Q_OS_WIN
void rescanSystemNamesLocked()
{
    QStringList names;
    QMap<QString, SerialDevice> devices;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        names.append(info.portName());
        SerialDevice device;
        device.path = info.portName();
        device.manufacturer = info.manufacturer();
        device.description = info.description();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            device.vendorId = info.vendorIdentifier();
            device.productId = info.productIdentifier();
        }
        devices.insert(device.path, device);
    }
    QStringList unnumbered;
    Snapshot& s = snapshot();
    s.table = systemComPorts(names, &unnumbered);
    s.devices.clear();
    for (auto it = s.table.cbegin(); it != s.table.cend(); ++it)
        s.devices.insert(it.key(), devices.value(it.value()));
    s.taken = true;
    for (const QString& name : std::as_const(unnumbered))
        report(QStringLiteral("%1 is not offered: the program knows COM1 to COM16 only").arg(name));
}
#else
std::optional<PortTable> environmentTable()
{
    if (!qEnvironmentVariableIsSet(portsVariable))
        return std::nullopt;
    QStringList rejected;
    PortTable table = parsePortTable(qEnvironmentVariable(portsVariable), &rejected);
    for (const QString& entry : std::as_const(rejected))
        report(QStringLiteral("%1 entry %2").arg(QLatin1String(portsVariable), entry));
    return table;
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

#endif

void rescanLocked(const QList<SerialDevice>& present)
{
    const RegistryUpdate update = updateRegistry(portRegistryPath(), present);
    Snapshot& s = snapshot();
    s.table = update.present;
    s.devices.clear();
    for (auto it = s.table.cbegin(); it != s.table.cend(); ++it) {
        for (const SerialDevice& device : present) {
            if (deviceIdentity(device) == it.value())
                s.devices.insert(it.key(), device);
        }
    }
    s.taken = true;
    for (const QString& problem : update.problems)
        report(problem);
    for (const QString& identity : update.unnumbered)
        report(QStringLiteral("%1 is not offered: COM1 to COM16 all belong to devices present").arg(identity));
}

// Fills the snapshot when this process has not taken one yet.
const Snapshot& takenSnapshot()
{
    if (!snapshot().taken) {
#ifdef Q_OS_WIN
        rescanSystemNamesLocked();
#else
        rescanLocked(systemDevices());
#endif
    }
    return snapshot();
}

} // namespace

void rescanPortTable()
{
    const QMutexLocker locker(&stateLock());
#ifdef Q_OS_WIN
    rescanSystemNamesLocked();
#else
    // The variable is the whole table: no system list, no number file.
    if (!environmentTable())
        rescanLocked(systemDevices());
#endif
}

void rescanPortTable(const QList<SerialDevice>& present)
{
    const QMutexLocker locker(&stateLock());
    rescanLocked(present);
}

PortTable currentPortTable()
{
    const QMutexLocker locker(&stateLock());
#ifndef Q_OS_WIN
    if (std::optional<PortTable> table = environmentTable())
        return *table;
#endif
    return takenSnapshot().table;
}

QString portDevice(int number)
{
    if (number < firstPortNumber || number > lastPortNumber)
        return {};
    return currentPortTable().value(number);
}

QString portDescription(int number)
{
    if (number < firstPortNumber || number > lastPortNumber)
        return {};
    const QMutexLocker locker(&stateLock());
#ifndef Q_OS_WIN
    if (std::optional<PortTable> table = environmentTable()) {
        const QString device = table->value(number);
        if (device.isEmpty())
            return {};
        const QString canonical = canonicalOrSelf(device);
        const QList<SerialDevice> devices = systemDevices();
        const auto match = std::find_if(devices.begin(), devices.end(), [&](const SerialDevice& d) {
            return canonicalOrSelf(d.path) == canonical;
        });
        SerialDevice listed = match != devices.end() ? *match : SerialDevice{};
        listed.path = canonical;
        return describeDevice(device, listed);
    }
#endif
    const Snapshot& s = takenSnapshot();
    if (!s.table.contains(number))
        return {};
    const SerialDevice device = s.devices.value(number);
    return describeDevice(device.path, device);
}

} // namespace veltrano
