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
};

} // namespace veltrano
