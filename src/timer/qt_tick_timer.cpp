#include "timer/qt_tick_timer.h"

#include "timer/tick_period.h"

namespace veltrano {

QtTickTimer::QtTickTimer(QObject* parent) : TickTimer(parent)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &QtTickTimer::fire);
    clock_.start();
}

void QtTickTimer::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    start();
}

void QtTickTimer::setResting(bool resting)
{
    if (resting == resting_)
        return;
    resting_ = resting;
    start();
}

void QtTickTimer::start()
{
    if (!enabled_ || resting_) {
        timer_.stop();
        return;
    }
    nextDue_ = now() + kTickPeriod;
    scheduleNext();
}

std::chrono::microseconds QtTickTimer::now() const { return std::chrono::microseconds(clock_.nsecsElapsed() / 1000); }

void QtTickTimer::scheduleNext()
{
    const qint64 waitUs = qMax<qint64>(0, (nextDue_ - now()).count());
    // Rounded up: QTimer counts whole milliseconds and must not fire before the deadline.
    timer_.start(int((waitUs + 999) / 1000));
}

void QtTickTimer::fire()
{
    if (!enabled_ || resting_)
        return;
    nextDue_ = nextTickDue(nextDue_, now());
    scheduleNext();
    emit tick();
}

} // namespace veltrano
