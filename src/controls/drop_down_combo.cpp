#include "controls/drop_down_combo.h"

#include <QLineEdit>
#include <QWheelEvent>

namespace veltrano {

DropDownCombo::DropDownCombo(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // What the operator types stays as typed: no completion, and no matching against the
    // list when the box is left or Enter is pressed (Qt's would pick "COM16" for "com16").
    setCompleter(nullptr);
    disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
    disconnect(lineEdit(), &QLineEdit::returnPressed, this, nullptr);
    // The wheel over a box that has not been given focus leaves its choice alone.
    setFocusPolicy(Qt::StrongFocus);
    lineEdit()->setMaxLength(1 << 24); // Qt's default would cut pastes at 32767
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { typedOver_ = true; });
    connect(this, &QComboBox::activated, this, [this] { typedOver_ = false; });
}

void DropDownCombo::wheelEvent(QWheelEvent* event)
{
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

void DropDownCombo::setText(const QString& text)
{
    const QSignalBlocker block(this);
    setEditText(text);
}

void DropDownCombo::addListItem(const QString& item, const QString& toolTip)
{
    const bool wasEmpty = count() == 0;
    const QString shown = currentText();
    const int index = currentIndex();
    {
        const QSignalBlocker block(this);
        addItem(item);
        if (!toolTip.isEmpty())
            setItemData(count() - 1, toolTip, Qt::ToolTipRole);
        if (wasEmpty && index < 0)
            setCurrentIndex(-1); // QComboBox selects the first item of an empty list
        setEditText(shown);
    }
}

void DropDownCombo::clearList()
{
    const QString shown = currentText();
    const QSignalBlocker block(this);
    clear();
    typedOver_ = false;
    setEditText(shown);
}

} // namespace veltrano
