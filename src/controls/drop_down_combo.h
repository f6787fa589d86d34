#pragma once

#include <QComboBox>

namespace veltrano {

// A drop-down combo box: an editable text with a list. Typed text stays exactly as typed
// and is never matched against the list; the list position is -1 when nothing is chosen
// and from the moment the operator types until an item is picked from the list again.
// Adding items never selects one by itself.
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

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    bool typedOver_ = false;
};

} // namespace veltrano
