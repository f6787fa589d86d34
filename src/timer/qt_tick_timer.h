#pragma once

#include "timer/tick_timer.h"

#include <QElapsedTimer>
#include <QTimer>

#include <chrono>

namespace veltrano {

// Ticks every kTickPeriod on average: each tick is scheduled against a running deadline
// (see nextTickDue), so the millisecond rounding of QTimer does not drift the rate, and a
// tick delayed by a stall is followed by the next one a full period later, not at once.
class QtTickTimer : public TickTimer {
    Q_OBJECT
public:
    explicit QtTickTimer(QObject* parent = nullptr);
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }
    void setResting(bool resting) override;

private:
    // Runs from a full period on, or stops, as the settings say.
    void start();
    std::chrono::microseconds now() const;
    void scheduleNext();
    void fire();

    QTimer timer_;
    QElapsedTimer clock_;
    std::chrono::microseconds nextDue_{0};
    bool enabled_ = false;
    bool resting_ = false;
};

} // namespace veltrano
