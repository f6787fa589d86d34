#pragma once

// The controls' room: the window's text boxes (here), command buttons, drop-down combos,
// fixed labels and progress bar, each the Qt widget the window places with what the program
// needs of it that the widget lacks, and the refresh clock on which the text boxes and the
// chart bring their widgets up to date. Nothing here knows of the serial line.

#include "controls/refresh_clock.h"

#include <QObject>
#include <QString>

class QLineEdit;
class QPlainTextEdit;
class QPoint;
class QWidget;

namespace veltrano {

// A text box whose text is exactly what the program wrote into it (a carriage return
// stays one character of code 13) or what the operator typed. The box keeps that text
// itself, where appending is cheap, and brings the widget up to date on the refresh
// clock, however many writes came in between, and before any edit by the operator, so that
// the edit lands in the current text. An edit replaces only the span it changed.
class TextBox : public QObject, public RefreshClient {
    Q_OBJECT
public:
    enum class Lines { Single, Multi };

    TextBox(const QString& name, Lines lines, QWidget* parent);

    QWidget* widget() const { return widget_; }

    const QString& text() const { return text_; }
    void setText(const QString& text);
    void append(const QString& more);

    // Caret position, counted in characters from the start (0: before the first).
    int selStart() const { return selStart_; }
    void setSelStart(int position);

    void setVisible(bool visible);
    bool isShown() const;
    void setWidthPixels(int width);
    void setAlignment(Qt::Alignment alignment);

    // What the widget shows right now (a carriage return or CR LF written shows as a line break);
    // catches up with text() shortly.
    QString shownText() const;
    // Brings the widget up to date now.
    void syncNow();
    void catchUp() override { syncNow(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleSync();
    void takeOperatorEdit(const QString& nowShown);
    void showContextMenu(const QPoint& globalPos);

    QWidget* widget_ = nullptr;
    QLineEdit* line_ = nullptr;
    QPlainTextEdit* multi_ = nullptr;
    QString text_;
    // What the widget shows, and the text it shows (text_ unless the widget is behind).
    QString shown_;
    QString shownOf_;
    int selStart_ = 0;
    bool dirty_ = false;
    bool syncing_ = false;
};

} // namespace veltrano
