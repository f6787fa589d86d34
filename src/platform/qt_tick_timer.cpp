#include "platform/qt_tick_timer.h"

#include "platform/tick_period.h"

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
    if (!enabled) {
        timer_.stop();
        return;
    }
    nextDueUs_ = clock_.nsecsElapsed() / 1000 + kTickPeriod.count();
    scheduleNext();
}

void QtTickTimer::scheduleNext()
{
    const qint64 nowUs = clock_.nsecsElapsed() / 1000;
    // After a stall, start afresh rather than firing a burst of late ticks.
    if (nextDueUs_ < nowUs - kTickPeriod.count())
        nextDueUs_ = nowUs + kTickPeriod.count();
    const qint64 waitUs = qMax<qint64>(0, nextDueUs_ - nowUs);
    timer_.start(int((waitUs + 999) / 1000));
}

void QtTickTimer::fire()
{
    if (!enabled_)
        return;
    nextDueUs_ += kTickPeriod.count();
    scheduleNext();
    emit tick();
}

} // namespace veltrano
