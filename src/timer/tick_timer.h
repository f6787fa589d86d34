#pragma once

// The timer's room: the window's periodic timer (here), its Qt part (qt_tick_timer) and
// the pace at which it ticks (tick_period). It knows nothing of what a tick does.

#include <QObject>

namespace veltrano {

// The window's periodic timer. It only runs and stops; its period is the platform's.
class TickTimer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // For when a tick would change nothing: a resting timer stays enabled but does not
    // wake the program to tick. Its period starts again when the rest ends.
    virtual void setResting(bool resting) = 0;
signals:
    void tick();
};

} // namespace veltrano
