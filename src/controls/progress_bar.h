#pragma once

class QWidget;

namespace veltrano {

// The download progress bar: a value within 0..100 and a visibility.
class ProgressBarControl {
public:
    virtual ~ProgressBarControl() = default;
    virtual float value() const = 0;
    virtual void setValue(float value) = 0;
    virtual bool isVisible() const = 0;
    virtual void setVisible(bool visible) = 0;
    virtual QWidget* widget() = 0;
};

} // namespace veltrano
