#pragma once

#include "platform/tick_timer.h"

namespace veltrano {

// A timer for tests: ticks only when told to, and only while enabled.
class FakeTickTimer : public TickTimer {
    Q_OBJECT
public:
    using TickTimer::TickTimer;
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool isEnabled() const override { return enabled_; }
    // Only recorded: a resting timer's ticks would change nothing, so tests may still fire them.
    void setResting(bool resting) override { resting_ = resting; }
    bool isResting() const { return resting_; }
    // Delivers n ticks if the timer runs; returns how many were delivered.
    int fire(int n = 1)
    {
        int delivered = 0;
        for (; delivered < n && enabled_; ++delivered)
            emit tick();
        return delivered;
    }

private:
    bool enabled_ = false;
    bool resting_ = false;
};

} // namespace veltrano
