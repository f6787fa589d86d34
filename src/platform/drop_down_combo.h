#pragma once

#include <QComboBox>

namespace veltrano {

// A drop-down combo box: an editable text with a list. Its list position is -1 when
// nothing is chosen, also after the operator typed over a chosen item, and adding
// items never selects one by itself.
class DropDownCombo : public QComboBox {
    Q_OBJECT
public:
    explicit DropDownCombo(QWidget* parent = nullptr);

    int listIndex() const { return typedOver_ ? -1 : currentIndex(); }
    QString text() const { return currentText(); }
    // Sets the shown text without choosing an item.
    void setText(const QString& text);
    void addListItem(const QString& item, const QString& toolTip = {});
    void clearList();

private:
    bool typedOver_ = false;
};

} // namespace veltrano
