#pragma once

#include <QString>

namespace veltrano {

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 16;

// "COM<n>" for 1 to 16, without leading zero or space.
QString portName(int number);
// The number of the name, compared exactly with "COM1" to "COM16"; 0 when none matches.
int portNumberOf(const QString& name);
// Line settings for a position in the baud list: 0 "2400", 1 "9600", anything else "115200".
QString lineSettingsFor(int baudListIndex);

} // namespace veltrano
