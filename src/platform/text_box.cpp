#include "platform/text_box.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>

namespace veltrano {

namespace {

// Far beyond anything typed or pasted by hand; Qt's default would cut pastes at 32767.
constexpr int kMaxTypedLength = 1 << 24;

// A lone carriage return or CR LF shows as one line break; the text itself keeps them.
QString displayForm(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

} // namespace

TextBox::TextBox(const QString& name, Lines lines, QWidget* parent)
    : QObject(parent), RefreshClient(Stage::Content)
{
    setObjectName(name);
    if (lines == Lines::Single) {
        line_ = new QLineEdit(parent);
        line_->setMaxLength(kMaxTypedLength);
        widget_ = line_;
        connect(line_, &QLineEdit::textEdited, this, &TextBox::takeOperatorEdit);
    } else {
        multi_ = new QPlainTextEdit(parent);
        multi_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        multi_->setTabChangesFocus(true); // Tab moves on, as in every other box
        widget_ = multi_;
        connect(multi_, &QPlainTextEdit::textChanged, this, [this] {
            if (!syncing_)
                takeOperatorEdit(multi_->toPlainText());
        });
    }
    widget_->setObjectName(name);
}

void TextBox::takeOperatorEdit(const QString& shown)
{
    text_ = shown;
    selStart_ = line_ ? line_->cursorPosition() : multi_->textCursor().position();
}

void TextBox::setText(const QString& text)
{
    text_ = text;
    selStart_ = 0;
    scheduleSync();
}

void TextBox::append(const QString& more)
{
    text_ += more;
    scheduleSync();
}

void TextBox::setSelStart(int position)
{
    selStart_ = qBound(0, position, int(text_.size()));
    scheduleSync();
}

void TextBox::setVisible(bool visible) { widget_->setVisible(visible); }

bool TextBox::isShown() const { return !widget_->isHidden(); }

void TextBox::setWidthPixels(int width) { widget_->resize(width, widget_->height()); }

void TextBox::setAlignment(Qt::Alignment alignment)
{
    if (line_)
        line_->setAlignment(alignment);
}

QString TextBox::shownText() const { return line_ ? line_->text() : multi_->toPlainText(); }

void TextBox::scheduleSync()
{
    if (dirty_)
        return;
    dirty_ = true;
    // A frame arrives over several events, and laying the box out for each of them would
    // only be drawn over at once.
    requestRefresh();
}

void TextBox::syncNow()
{
    if (!dirty_)
        return;
    dirty_ = false;
    syncing_ = true;
    const QString shown = displayForm(text_);
    if (line_) {
        if (line_->text() != shown)
            line_->setText(shown);
        if (line_->cursorPosition() != selStart_)
            line_->setCursorPosition(selStart_);
    } else {
        const bool changed = multi_->toPlainText() != shown;
        if (changed)
            multi_->setPlainText(shown);
        // Setting the caret repaints the box; a frame's text often comes back the same.
        QTextCursor cursor = multi_->textCursor();
        const int caret = qMin(selStart_, int(shown.size()));
        if (changed || cursor.position() != caret || cursor.hasSelection()) {
            cursor.setPosition(caret);
            multi_->setTextCursor(cursor);
            multi_->ensureCursorVisible();
        }
    }
    syncing_ = false;
}

} // namespace veltrano
