#pragma once

#include <QString>

namespace veltrano {

// The strip chart's window rule: a series holding more points than the window length
// drops its oldest one (at most one per tick, so a lowered length does not shrink a longer
// window), and each new point stands one step right of the last.
inline bool dropsOldest(int pointCount, int windowLength) { return pointCount > windowLength; }
inline double nextX(double lastX) { return lastX + 1; }

// Shown on each chart-view tick that finds the port closed.
inline const QString kPortClosedNotice = QStringLiteral("MSComm = False ");

} // namespace veltrano
