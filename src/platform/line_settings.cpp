#include "platform/line_settings.h"

namespace veltrano {

std::optional<LineSettings> parseLineSettings(const QString& text)
{
    for (int baud : {2400, 9600, 115200}) {
        if (text == QStringLiteral("%1,N,8,1").arg(baud))
            return LineSettings{baud};
    }
    return std::nullopt;
}

} // namespace veltrano
