#pragma once

#include <QString>

#include <cstdint>

namespace veltrano {

// The progress indicator that follows a greeting, a download or a reply: a bar that fills
// in steps of 2 up to 100 and a ">" ticker, one step per tick, until the tick that passes
// 60 replaces the ticker with the OK line.
inline const QString kOkLine = QString(40, QLatin1Char('-')) + QStringLiteral("____OK____")
                               + QString(44, QLatin1Char('-'));
// Shown when LOAD DATA finds the port closed.
inline const QString kLoadFailLine = QString(32, QLatin1Char('-')) + QStringLiteral("load fail")
                                     + QString(36, QLatin1Char('-'));
inline const QString kTicker = QStringLiteral(">");

struct ProgressState {
    std::int16_t active = 0; // 1 while a run goes on
    double ticks = 0; // ticks of the current run
};

// What one tick of a running indicator does.
struct ProgressTick {
    float barValue = 0; // the bar's value after this tick's step
    bool barShown = false;
    bool runEnds = false; // the OK line replaces the ticker, the bar goes back to 0
    ProgressState next;
};

// One tick of a running indicator (state.active == 1) from the bar's current value.
ProgressTick progressTick(const ProgressState& state, float barValue);

} // namespace veltrano
