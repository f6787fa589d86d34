#include "link/port_names.h"

#include "serial/line_settings.h"

namespace veltrano {

int portNumberOf(const QString& name)
{
    for (int number = kFirstPortNumber; number <= kLastPortNumber; ++number) {
        if (name == portName(number))
            return number;
    }
    return 0;
}

QStringList baudListItems()
{
    QStringList items;
    for (int baud : kBaudRates)
        items << QString::number(baud);
    return items;
}

QString baudListPrompt() { return QStringLiteral("DEFAULT BAUR %1").arg(kDefaultBaud); }

QString lineSettingsFor(int baudListIndex)
{
    const bool listed = baudListIndex >= 0 && baudListIndex < int(kBaudRates.size());
    return lineSettingsText(listed ? kBaudRates[size_t(baudListIndex)] : kDefaultBaud);
}

} // namespace veltrano
