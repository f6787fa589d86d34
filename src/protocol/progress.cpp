#include "protocol/progress.h"

namespace veltrano {

namespace {
constexpr float kBarStep = 2;
constexpr float kBarCeiling = 100;
constexpr int kTicksPerRun = 60; // the run ends on the tick that passes this count
} // namespace

ProgressTick progressTick(const ProgressState& state, float barValue)
{
    ProgressTick tick;
    if (barValue >= kBarCeiling) {
        tick.barValue = kBarCeiling; // a full bar stays as it is shown
    } else {
        tick.barValue = barValue + kBarStep;
        tick.barShown = true;
    }
    tick.next = state;
    tick.next.ticks += 1;
    if (tick.next.ticks > kTicksPerRun) {
        tick.runEnds = true;
        tick.next = ProgressState{0, 0};
    }
    return tick;
}

} // namespace veltrano
