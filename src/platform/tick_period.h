#pragma once

#include <chrono>

namespace veltrano {

// The design asks for 1 ms; desktop timers resolve about 1/64 s, and the progress run
// (61 ticks, about a second) and the chart's default window were tuned at that pace.
inline constexpr std::chrono::microseconds kTickPeriod{15625};

} // namespace veltrano
