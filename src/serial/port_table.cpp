#include "serial/port_table.h"
#include "platform/log.h"

#include "serial/simulated_board.h"
#include "serial/system_ports.h"
#ifndef Q_OS_WIN
#include "serial/port_registry.h" // the number file's numbering, which tests drive
#endif

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <optional>

namespace veltrano {

namespace {

const char* const portsVariable = "VELTRANO_PORTS";

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

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
    return ok && number >= kFirstPortNumber && number <= kLastPortNumber ? number : 0;
}

PortMap parsePortTable(const QString& text, QStringList* rejected)
{
    // "COM3=/dev/a,COM5=/dev/b": another entry run into the device text.
    static const QRegularExpression runOn(QStringLiteral("[,\\s]\\s*COM\\d+\\s*="),
                                          QRegularExpression::CaseInsensitiveOption);
    PortMap table;
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

PortMap systemComPorts(const QStringList& names, QStringList* unnumbered)
{
    PortMap table;
    for (const QString& name : names) {
        const int number = portNumberFromLenientName(name);
        if (number != 0 && !table.contains(number))
            table.insert(number, name);
        else if (unnumbered)
            unnumbered->append(name);
    }
    return table;
}

struct PortTable::State {
    std::optional<PortMap> fixed; // set: the whole table, no system list
    bool taken = false; // the table was taken
    PortMap table; // number -> what to open
    QMap<int, QString> descriptions; // number -> what a tooltip says of it
    int simulatedNumber = 0;
    std::shared_ptr<SimulatedBoard> simulated;
    QSet<QString> reported;
};

PortTable::PortTable() : state_(std::make_unique<State>()) { }

PortTable::PortTable(const PortMap& fixed) : state_(std::make_unique<State>()) { state_->fixed = fixed; }

PortTable::~PortTable() = default;

void PortTable::setFixed(const PortMap& fixed)
{
    const QMutexLocker locker(&lock_);
    state_->fixed = fixed;
    takeSnapshotLocked();
}

std::shared_ptr<PortTable> PortTable::fromEnvironment()
{
#ifndef Q_OS_WIN
    if (qEnvironmentVariableIsSet(portsVariable)) {
        QStringList rejected;
        auto table = std::make_shared<PortTable>(parsePortTable(qEnvironmentVariable(portsVariable), &rejected));
        for (const QString& entry : std::as_const(rejected))
            table->reportOnce(QStringLiteral("%1 entry %2").arg(QLatin1String(portsVariable), entry));
        return table;
    }
#endif
    return std::make_shared<PortTable>();
}

void PortTable::reportOnce(const QString& text) const
{
    if (state_->reported.contains(text))
        return;
    state_->reported.insert(text);
    qCWarning(lcSerial).noquote() << text;
}

void PortTable::placeSimulatedBoard(int number, std::shared_ptr<SimulatedBoard> board)
{
    const QMutexLocker locker(&lock_);
    state_->simulatedNumber = board ? number : 0;
    state_->simulated = std::move(board);
    dropSimulatedNumberLocked();
}

std::shared_ptr<SimulatedBoard> PortTable::simulatedBoard(int number) const
{
    const QMutexLocker locker(&lock_);
    return number == state_->simulatedNumber ? state_->simulated : nullptr;
}

void PortTable::dropSimulatedNumberLocked() const
{
    const int number = state_->simulatedNumber;
    if (number == 0 || !state_->table.contains(number))
        return;
    reportOnce(QStringLiteral("%1 (%2) is out of reach for this run: %1 is the simulated driver board")
                   .arg(portName(number), state_->table.value(number)));
    state_->table.remove(number);
    state_->descriptions.remove(number);
}

void PortTable::takeLocked(const SystemPortList& list) const
{
    State& s = *state_;
    s.table = list.table;
    s.descriptions = list.descriptions;
    s.taken = true;
    for (const QString& problem : list.problems)
        reportOnce(problem);
    dropSimulatedNumberLocked();
}

void PortTable::takeSnapshotLocked() const
{
    if (const std::optional<PortMap>& fixed = state_->fixed) {
        SystemPortList list;
        list.table = *fixed;
        for (auto it = fixed->cbegin(); it != fixed->cend(); ++it)
            list.descriptions.insert(it.key(), describeNamedDevice(it.value()));
        takeLocked(list);
        return;
    }
    takeLocked(listSystemPorts());
}

void PortTable::rescan()
{
    const QMutexLocker locker(&lock_);
    takeSnapshotLocked();
}

#ifndef Q_OS_WIN
void PortTable::rescan(const QList<SerialDevice>& present)
{
    const QMutexLocker locker(&lock_);
    takeLocked(numberDevices(present));
}
#endif

PortMap PortTable::devices() const
{
    const QMutexLocker locker(&lock_);
    if (!state_->taken)
        takeSnapshotLocked();
    return state_->table;
}

QString PortTable::device(int number) const
{
    if (number < kFirstPortNumber || number > kLastPortNumber)
        return {};
    return devices().value(number);
}

QString PortTable::describe(int number) const
{
    if (number < kFirstPortNumber || number > kLastPortNumber)
        return {};
    const QMutexLocker locker(&lock_);
    const State& s = *state_;
    if (number == s.simulatedNumber)
        return QStringLiteral("simulated driver board");
    if (!s.taken)
        takeSnapshotLocked();
    return s.descriptions.value(number);
}

} // namespace veltrano
