#include "serial/line_settings.h"

namespace veltrano {

QString lineSettingsText(int baud) { return QStringLiteral("%1,N,8,1").arg(baud); }

std::optional<LineSettings> parseLineSettings(const QString& text)
{
    for (int baud : kBaudRates) {
        if (text == lineSettingsText(baud))
            return LineSettings{baud};
    }
    return std::nullopt;
}

} // namespace veltrano
