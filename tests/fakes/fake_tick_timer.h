#pragma once

#include "timer/tick_timer.h"

namespace veltrano {

// A timer for tests: ticks only when told to, and as the real timer does, only while it is
// enabled and not resting. fire(n) stands for n periods passing; a rest that ends restarts
// the period, so the next tick is one fire() after it.
class FakeTickTimer : public TickTimer {
    Q_OBJECT
public:
    using TickTimer::TickTimer;
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool isEnabled() const override { return enabled_; }
    void setResting(bool resting) override { resting_ = resting; }
    bool isResting() const { return resting_; }
    // Delivers up to n ticks, stopping when the timer is disabled or starts resting (a
    // tick's handler may decide either); returns how many were delivered.
    int fire(int n = 1)
    {
        int delivered = 0;
        for (; delivered < n && enabled_ && !resting_; ++delivered)
            emit tick();
        return delivered;
    }

private:
    bool enabled_ = false;
    bool resting_ = false;
};

} // namespace veltrano
