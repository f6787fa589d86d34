#pragma once

#include <QPushButton>

namespace veltrano {

// A button in the graphical style: its face is a solid fill of its Button colour with a
// plain bevel, so the colour it was given is the colour the operator sees (a style's
// gradient would lighten it). A disabled caption is embossed in a darker shade of the
// face, which keeps it readable on any face colour. Enter clicks a focused command
// button just as Space does; a check box in this style answers Space only.
class CommandButton : public QPushButton {
    Q_OBJECT
public:
    explicit CommandButton(const QString& caption, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace veltrano
