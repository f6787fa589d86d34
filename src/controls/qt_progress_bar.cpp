#include "controls/qt_progress_bar.h"

#include "platform/control_error.h"

namespace veltrano {

QtProgressBar::QtProgressBar() : bar_(new QProgressBar)
{
    bar_->setObjectName(QStringLiteral("ProgressBar1"));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->hide();
}

QtProgressBar::~QtProgressBar()
{
    // The window may already have deleted its child widgets.
    delete bar_.data();
}

void QtProgressBar::setValue(float value)
{
    if (value < 0 || value > 100)
        throw ControlError("progress value out of range 0 to 100");
    value_ = value;
    bar_->setValue(qRound(value));
}

bool QtProgressBar::isVisible() const { return !bar_->isHidden(); }
void QtProgressBar::setVisible(bool visible) { bar_->setVisible(visible); }
QWidget* QtProgressBar::widget() { return bar_; }

} // namespace veltrano
