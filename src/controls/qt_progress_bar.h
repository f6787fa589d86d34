#pragma once

#include "controls/progress_bar.h"

#include <QPointer>
#include <QProgressBar>

namespace veltrano {

class QtProgressBar : public ProgressBarControl {
public:
    QtProgressBar();
    ~QtProgressBar() override;
    float value() const override { return value_; }
    void setValue(float value) override;
    bool isVisible() const override;
    void setVisible(bool visible) override;
    QWidget* widget() override;

private:
    QPointer<QProgressBar> bar_;
    float value_ = 0;
};

} // namespace veltrano
