#include "controls/command_button.h"

#include <QKeyEvent>
#include <QPainter>

namespace veltrano {

namespace {

constexpr int kBevel = 2;
constexpr int kFocusInset = 4;

// Raised: light above and left, dark below and right; pressed swaps them.
void drawBevel(QPainter& painter, const QRect& rect, const QColor& face, bool sunken)
{
    const QColor light = face.lighter(160), dark = face.darker(220);
    const QColor outerTopLeft = sunken ? QColor(Qt::black) : QColor(Qt::white);
    const QColor outerBottomRight = sunken ? QColor(Qt::white) : QColor(Qt::black);
    const QColor innerTopLeft = sunken ? dark : light;
    const QColor innerBottomRight = sunken ? light : dark;
    const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
    painter.setPen(outerTopLeft);
    painter.drawLine(l, t, r - 1, t);
    painter.drawLine(l, t, l, b - 1);
    painter.setPen(outerBottomRight);
    painter.drawLine(l, b, r, b);
    painter.drawLine(r, t, r, b);
    painter.setPen(innerTopLeft);
    painter.drawLine(l + 1, t + 1, r - 2, t + 1);
    painter.drawLine(l + 1, t + 1, l + 1, b - 2);
    painter.setPen(innerBottomRight);
    painter.drawLine(l + 1, b - 1, r - 1, b - 1);
    painter.drawLine(r - 1, t + 1, r - 1, b - 1);
}

} // namespace

CommandButton::CommandButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent)
{
    setAutoDefault(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CommandButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor face = palette().color(QPalette::Button);
    const bool sunken = isDown() || isChecked();
    painter.fillRect(rect(), face);
    drawBevel(painter, rect(), face, sunken);

    QRect captionRect = rect().adjusted(kBevel, kBevel, -kBevel, -kBevel);
    if (sunken)
        captionRect.translate(1, 1);
    painter.setFont(font());
    const int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
    if (isEnabled()) {
        painter.setPen(palette().color(QPalette::Active, QPalette::ButtonText));
        painter.drawText(captionRect, flags, text());
    } else {
        painter.setPen(face.lighter(175));
        painter.drawText(captionRect.translated(1, 1), flags, text());
        painter.setPen(face.darker(300));
        painter.drawText(captionRect, flags, text());
    }

    if (hasFocus()) {
        QPen dotted(palette().color(QPalette::Active, QPalette::ButtonText), 1, Qt::DotLine);
        painter.setPen(dotted);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(kFocusInset, kFocusInset, -kFocusInset - 1, -kFocusInset - 1));
    }
}

void CommandButton::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (enter && plain && !isCheckable()) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

} // namespace veltrano
