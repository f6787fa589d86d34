#pragma once

#include <QString>

#include <array>
#include <optional>

namespace veltrano {

// The line speeds offered, in the order of the baud list, and the one used when none is
// chosen. The list items, the settings texts and the settings the serial control accepts
// all come from here.
inline constexpr std::array<int, 3> kBaudRates{2400, 9600, 115200};
inline constexpr int kDefaultBaud = 115200;
static_assert(kDefaultBaud == kBaudRates.back(), "the default is the last rate of the list");

// Line settings in the control's text form "baud,parity,data,stop".
struct LineSettings {
    int baud = 9600;
};

// "<baud>,N,8,1": no parity, 8 data bits, 1 stop bit.
QString lineSettingsText(int baud);

// Accepts exactly the settings text of one of the offered rates.
std::optional<LineSettings> parseLineSettings(const QString& text);

} // namespace veltrano
