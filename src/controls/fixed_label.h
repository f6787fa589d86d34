#pragma once

#include <QLabel>
#include <QStringList>

#include <functional>

namespace veltrano {

// Lines of `text` broken at spaces so that each fits `maxWidth` where it can: a line ends
// before the first word that would not fit, and a word wider than the whole width stands
// on a line of its own. The spaces at a break are dropped; a leading space counts as an
// empty word, so " LONGWORD" keeps its first line empty.
QStringList wrapAtWordBreaks(const QString& text, int maxWidth, const std::function<int(const QString&)>& widthOf);

// A label in a fixed box: its caption wraps at word breaks within the box, line under
// line from the top, and whatever does not fit is clipped.
class FixedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace veltrano
