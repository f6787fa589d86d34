#include "platform/port_table.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace veltrano {

namespace {

const char* const portsVariable = "VELTRANO_PORTS";

#ifndef Q_OS_WIN
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

PortTable parsePortTable(const QString& text)
{
    PortTable table;
    const QStringList entries = text.split(u';', Qt::SkipEmptyParts);
    for (const QString& rawEntry : entries) {
        const QString entry = rawEntry.trimmed();
        const qsizetype eq = entry.indexOf(u'=');
        if (eq <= 0)
            continue;
        const int number = portNumberFromLenientName(entry.left(eq).trimmed());
        const QString device = entry.mid(eq + 1).trimmed();
        if (number == 0 || device.isEmpty() || table.contains(number))
            continue;
        table.insert(number, device);
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

PortTable portTableFromLocations(QStringList locations)
{
    std::sort(locations.begin(), locations.end(), naturalLess);
    locations.erase(std::unique(locations.begin(), locations.end()), locations.end());
    PortTable table;
    int number = firstPortNumber;
    for (const QString& location : std::as_const(locations)) {
        if (number > lastPortNumber)
            break;
        if (!location.isEmpty())
            table.insert(number++, location);
    }
    return table;
}

PortTable currentPortTable()
{
#ifdef Q_OS_WIN
    PortTable table;
    for (int n = firstPortNumber; n <= lastPortNumber; ++n)
        table.insert(n, portName(n));
    return table;
#else
    if (qEnvironmentVariableIsSet(portsVariable))
        return parsePortTable(qEnvironmentVariable(portsVariable));
    QStringList locations;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        locations.append(info.systemLocation());
    return portTableFromLocations(locations);
#endif
}

QString portDevice(int number)
{
    if (number < firstPortNumber || number > lastPortNumber)
        return {};
    return currentPortTable().value(number);
}

QString portDescription(int number)
{
    const QString device = portDevice(number);
    if (device.isEmpty())
        return {};

    QSerialPortInfo info;
#ifdef Q_OS_WIN
    info = QSerialPortInfo(device);
    if (info.isNull())
        return {};
#else
    const QString canonical = canonicalOrSelf(device);
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& candidate : ports) {
        if (canonicalOrSelf(candidate.systemLocation()) == canonical) {
            info = candidate;
            break;
        }
    }
#endif

    QStringList details;
    if (!info.manufacturer().isEmpty())
        details.append(info.manufacturer());
    if (!info.description().isEmpty())
        details.append(info.description());
    if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
        details.append(QStringLiteral("USB %1:%2")
                           .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                           .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'))
                           .toUpper());
    }
    QString path = device;
#ifndef Q_OS_WIN
    if (canonical != device)
        path += QStringLiteral(" -> ") + canonical;
#endif
    return details.isEmpty() ? path
                             : QStringLiteral("%1 (%2)").arg(path, details.join(QStringLiteral(", ")));
}

} // namespace veltrano
