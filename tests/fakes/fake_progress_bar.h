#pragma once

#include "controls/progress_bar.h"
#include "platform/control_error.h"

namespace veltrano {

class FakeProgressBar : public ProgressBarControl {
public:
    float value() const override { return value_; }
    void setValue(float value) override
    {
        if (value < 0 || value > 100)
            throw ControlError("progress value out of range 0 to 100");
        value_ = value;
    }
    bool isVisible() const override { return visible_; }
    void setVisible(bool visible) override { visible_ = visible; }
    QWidget* widget() override { return nullptr; }

private:
    float value_ = 0;
    bool visible_ = false;
};

} // namespace veltrano
