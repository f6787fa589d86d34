#include "support/operator_input.h"

#include <QApplication>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <QtTest>

namespace veltrano::testing {

OperatorInput::OperatorInput(QWidget* window) : window_(window)
{
    window_->show();
    window_->activateWindow();
    if (!QTest::qWaitForWindowActive(window_))
        qWarning("OperatorInput: the window did not become active");
}

QPoint OperatorInput::windowPos(QWidget* control, QPoint offset) const
{
    const QPoint at = offset == QPoint(-1, -1) ? control->rect().center() : offset;
    return control->mapTo(window_, at);
}

void OperatorInput::clickAt(QPoint windowPos)
{
    QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, Qt::NoModifier, windowPos);
    QCoreApplication::processEvents();
}

void OperatorInput::clickOn(QWidget* control, QPoint offset) { clickAt(windowPos(control, offset)); }

void OperatorInput::wheelAt(QPoint windowPos, int notches)
{
    QWheelEvent wheel(windowPos, window_->mapToGlobal(windowPos), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(window_->windowHandle(), &wheel);
    QCoreApplication::processEvents();
}

void OperatorInput::type(const QString& text)
{
    QWidget* target = QApplication::focusWidget();
    if (target)
        QTest::keyClicks(target, text);
    QCoreApplication::processEvents();
}

void OperatorInput::key(int key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(window_->windowHandle(), Qt::Key(key), modifiers);
    QCoreApplication::processEvents();
}

QWidget* OperatorInput::focusedControl() const
{
    QWidget* w = QApplication::focusWidget();
    while (w && w != window_ && (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))))
        w = w->parentWidget();
    return w;
}

} // namespace veltrano::testing
