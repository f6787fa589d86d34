#include "serial/port_registry.h"

#include "serial/registry_file.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace veltrano {

namespace {

const char* const registryHeader
    = "# veltrano port numbers: COM<n>=<device>, the device's /dev/serial/by-id name or its path\n";

QSet<QString> identitiesOf(const QList<SerialDevice>& devices)
{
    QSet<QString> identities;
    for (const SerialDevice& device : devices)
        identities.insert(deviceIdentity(device));
    return identities;
}

// A line of someone else's file as it may go to a terminal: no control characters.
QString printable(QString text)
{
    for (QChar& c : text) {
        if (!c.isPrint())
            c = u'?';
    }
    return text;
}

int lowestFreeNumber(const PortMap& table)
{
    for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
        if (!table.contains(n))
            return n;
    }
    return 0;
}

int lowestAbsentNumber(const PortMap& table, const QSet<QString>& present)
{
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (!present.contains(it.value()))
            return it.key();
    }
    return 0;
}

} // namespace

QString deviceIdentity(const SerialDevice& device) { return device.byId.isEmpty() ? device.path : device.byId; }

bool isUsbOrAcm(const SerialDevice& device)
{
    const QString name = QFileInfo(device.path).fileName();
    return device.vendorId >= 0 || !device.byId.isEmpty() || name.startsWith(QLatin1String("ttyUSB"))
           || name.startsWith(QLatin1String("ttyACM"));
}

Numbering assignNumbers(const PortMap& known, const QList<SerialDevice>& present)
{
    Numbering result{known, {}};
    const QList<QString> knownIdentities = known.values();
    QSet<QString> seen;
    QList<SerialDevice> fresh;
    for (const SerialDevice& device : present) {
        const QString identity = deviceIdentity(device);
        if (identity.isEmpty() || seen.contains(identity))
            continue;
        seen.insert(identity);
        if (!knownIdentities.contains(identity))
            fresh.append(device);
    }
    std::sort(fresh.begin(), fresh.end(), [](const SerialDevice& a, const SerialDevice& b) {
        if (isUsbOrAcm(a) != isUsbOrAcm(b))
            return isUsbOrAcm(a);
        return naturalLess(a.path, b.path);
    });
    for (const SerialDevice& device : std::as_const(fresh)) {
        int number = lowestFreeNumber(result.table);
        if (number == 0)
            number = lowestAbsentNumber(result.table, seen);
        if (number == 0)
            result.unnumbered.append(deviceIdentity(device));
        else
            result.table.insert(number, deviceIdentity(device));
    }
    return result;
}

RegistryText parseRegistry(const QString& text)
{
    RegistryText result;
    QSet<QString> identities;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        auto damaged = [&](const QString& why) {
            result.problems.append(QStringLiteral("line %1 \"%2\": %3").arg(i + 1).arg(line, why));
        };
        const qsizetype eq = line.indexOf(u'=');
        const int number = eq > 0 ? portNumberFromLenientName(line.left(eq).trimmed()) : 0;
        const QString identity = eq > 0 ? line.mid(eq + 1).trimmed() : QString();
        if (number == 0 || !identity.startsWith(u'/'))
            result.foreign.append(QStringLiteral("line %1 \"%2\"").arg(i + 1).arg(printable(line.left(60))));
        else if (result.table.contains(number))
            damaged(QStringLiteral("%1 given again").arg(portName(number)));
        else if (identities.contains(identity))
            damaged(QStringLiteral("device numbered again"));
        else {
            result.table.insert(number, identity);
            identities.insert(identity);
        }
    }
    return result;
}

QString formatRegistry(const PortMap& table)
{
    QString text = QString::fromLatin1(registryHeader);
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        text += QStringLiteral("%1=%2\n").arg(portName(it.key()), it.value());
    return text;
}

QString portRegistryPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/veltrano/ports");
}

QMap<QString, QString> byIdLinks(const QString& directory)
{
    QMap<QString, QString> links;
    const QDir dir(directory);
    QStringList names = dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), naturalLess);
    for (const QString& name : std::as_const(names)) {
        const QString link = dir.filePath(name);
        const QString target = QFileInfo(link).canonicalFilePath();
        if (!target.isEmpty() && !links.contains(target))
            links.insert(target, link);
    }
    return links;
}

RegistryUpdate updateRegistry(const QString& file, const QList<SerialDevice>& present)
{
    RegistryUpdate update;
    RegistryEntry entry = readRegistryEntry(file);
    PortMap known;
    bool rewrite = false;
    QString notOurs;
    if (entry.kind == RegistryEntry::Kind::File) {
        const RegistryText parsed = parseRegistry(QString::fromUtf8(entry.text));
        known = parsed.table;
        rewrite = !parsed.problems.isEmpty();
        for (const QString& problem : parsed.problems)
            update.problems.append(QStringLiteral("%1 is rebuilt without a double entry: %2").arg(file, problem));
        if (entry.text.size() > kRegistryMaxBytes)
            notOurs = QStringLiteral("larger than a number file can be");
        else if (!parsed.foreign.isEmpty())
            notOurs = QStringLiteral("not a number file: ") + parsed.foreign.first();
    } else if (entry.kind == RegistryEntry::Kind::NotAFile) {
        notOurs = entry.why;
    }

    const bool thisRunOnly = entry.kind == RegistryEntry::Kind::Unreadable;
    if (thisRunOnly) {
        update.problems.append(
            QStringLiteral("cannot read %1 (%2); port numbers hold for this run only").arg(file, entry.why));
    } else if (!notOurs.isEmpty()) {
        QString error;
        const QString aside = moveRegistryAside(file, &error);
        if (aside.isEmpty()) {
            update.problems.append(QStringLiteral("%1 is %2 and cannot be moved aside (%3); port numbers hold "
                                                  "for this run only")
                                       .arg(file, notOurs, error));
        } else {
            update.problems.append(
                QStringLiteral("%1 is %2; moved it to %3 and started a fresh one").arg(file, notOurs, aside));
            entry = RegistryEntry{};
            rewrite = true;
        }
    }

    const Numbering numbering = assignNumbers(known, present);
    update.unnumbered = numbering.unnumbered;
    const QSet<QString> presentIdentities = identitiesOf(present);
    for (auto it = numbering.table.cbegin(); it != numbering.table.cend(); ++it) {
        if (presentIdentities.contains(it.value()))
            update.present.insert(it.key(), it.value());
    }

    if (entry.kind == RegistryEntry::Kind::Unreadable || entry.kind == RegistryEntry::Kind::NotAFile)
        return update;
    if (!rewrite && entry.kind == RegistryEntry::Kind::File && numbering.table == known)
        return update;
    QString error;
    if (!writeRegistryEntry(file, entry, formatRegistry(numbering.table).toUtf8(), &error)) {
        update.problems.append(
            QStringLiteral("cannot write %1 (%2); port numbers hold for this run only").arg(file, error));
    }
    return update;
}

QString describeDevice(const QString& path, const SerialDevice& device)
{
    QString head = path;
    if (!device.path.isEmpty() && device.path != path)
        head += QStringLiteral(" -> ") + device.path;
    QStringList details;
    if (!device.byId.isEmpty() && device.byId != path)
        details.append(QStringLiteral("by-id ") + QFileInfo(device.byId).fileName());
    if (!device.manufacturer.isEmpty())
        details.append(device.manufacturer);
    if (!device.description.isEmpty())
        details.append(device.description);
    if (device.vendorId >= 0 && device.productId >= 0) {
        details.append(QStringLiteral("USB %1:%2")
                           .arg(device.vendorId, 4, 16, QLatin1Char('0'))
                           .arg(device.productId, 4, 16, QLatin1Char('0'))
                           .toUpper());
    }
    return details.isEmpty() ? head : QStringLiteral("%1 (%2)").arg(head, details.join(QStringLiteral(", ")));
}

} // namespace veltrano
