#include "link/port_refusals.h"
#include "platform/log.h"

#include "serial/port_table.h"

#include <QStringList>

namespace veltrano {

namespace {
QString line(int number, const QString& holder) { return portName(number) + QStringLiteral(": ") + holder; }
} // namespace

void PortRefusals::refused(int number, const QString& holder)
{
    const auto known = holders_.constFind(number);
    if (known != holders_.constEnd() && *known == holder)
        return;
    holders_.insert(number, holder);
    qCWarning(lcLink).noquote() << line(number, holder);
}

void PortRefusals::cleared(int number) { holders_.remove(number); }

QString PortRefusals::toolTip() const
{
    QStringList lines;
    for (auto it = holders_.constBegin(); it != holders_.constEnd(); ++it)
        lines << line(it.key(), it.value());
    return lines.join(QLatin1Char('\n'));
}

} // namespace veltrano
