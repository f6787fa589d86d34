#pragma once

#include <QPoint>
#include <QString>

class QWidget;

namespace veltrano::testing {

// Drives a shown window the way an operator does. Mouse events go to the window at a point,
// so Qt picks the receiver itself (stacking, hidden and disabled controls count); keys go
// to whatever has focus.
class OperatorInput {
public:
    // Shows the window and makes it the active one.
    explicit OperatorInput(QWidget* window);

    void clickAt(QPoint windowPos);
    // Clicks the control at `offset` from its top-left corner (its centre by default),
    // wherever that point lies in the window.
    void clickOn(QWidget* control, QPoint offset = {-1, -1});
    void wheelAt(QPoint windowPos, int notches);

    void type(const QString& text);
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void tab() { key(Qt::Key_Tab); }
    void backtab() { key(Qt::Key_Backtab, Qt::ShiftModifier); }
    void enter() { key(Qt::Key_Return); }
    void space() { key(Qt::Key_Space); }

    QPoint windowPos(QWidget* control, QPoint offset = {-1, -1}) const;
    // The window's control that has focus: the named ancestor of the focused widget.
    QWidget* focusedControl() const;

private:
    QWidget* window_;
};

} // namespace veltrano::testing
