#pragma once

#include "platform/tick_timer.h"

#include <QElapsedTimer>
#include <QTimer>

namespace veltrano {

// Ticks every kTickPeriod on average: each tick is scheduled against a running deadline,
// so the millisecond rounding of QTimer does not drift the rate.
class QtTickTimer : public TickTimer {
    Q_OBJECT
public:
    explicit QtTickTimer(QObject* parent = nullptr);
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }

private:
    void scheduleNext();
    void fire();

    QTimer timer_;
    QElapsedTimer clock_;
    qint64 nextDueUs_ = 0;
    bool enabled_ = false;
};

} // namespace veltrano
