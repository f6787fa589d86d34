#pragma once

#include <chrono>

namespace veltrano {

// The window's timer is set to 1 ms, but it ticks at most every 1/64 s: that is the pace at
// which desktop timers deliver such a setting, and at it the progress run of 61 ticks lasts
// about a second.
inline constexpr std::chrono::microseconds kTickPeriod{15625};

// When the tick after one due at `due` and delivered at `now` falls due. Ticks keep to the
// running deadline, so small delays are made up and the rate stays one per period on
// average. A tick more than half a period late ends a stall: the deadline starts afresh one
// period from now, so that no tick ever follows the previous one by less than half a period.
constexpr std::chrono::microseconds nextTickDue(std::chrono::microseconds due, std::chrono::microseconds now,
                                                std::chrono::microseconds period = kTickPeriod)
{
    const std::chrono::microseconds next = due + period;
    return next - now < period / 2 ? now + period : next;
}

} // namespace veltrano
