#pragma once

#include <QString>

// Captions that record a state: every handler that reads the state compares the whole
// caption with these, exactly.
namespace veltrano::caption {

inline const QString setupView = QStringLiteral("SIMULATION"); // Draw, in the setup view
inline const QString chartView = QStringLiteral("Stop"); // Draw, in the chart view
inline const QString connect = QStringLiteral("CONNECTING"); // Command4, disconnected
inline const QString disconnect = QStringLiteral("DISCONECT"); // Command4, connected

} // namespace veltrano::caption
