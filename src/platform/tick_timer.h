#pragma once

#include <QObject>

namespace veltrano {

// The window's periodic timer. It only runs and stops; its period is the platform's.
class TickTimer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
signals:
    void tick();
};

} // namespace veltrano
