#include "link/port_names.h"

namespace veltrano {

QString portName(int number) { return QStringLiteral("COM%1").arg(number); }

int portNumberOf(const QString& name)
{
    for (int number = kFirstPort; number <= kLastPort; ++number) {
        if (name == portName(number))
            return number;
    }
    return 0;
}

QString lineSettingsFor(int baudListIndex)
{
    switch (baudListIndex) {
    case 0: return QStringLiteral("2400,N,8,1");
    case 1: return QStringLiteral("9600,N,8,1");
    default: return QStringLiteral("115200,N,8,1");
    }
}

} // namespace veltrano
