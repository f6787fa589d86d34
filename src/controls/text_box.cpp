#include "controls/text_box.h"

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>

#include <optional>
#include <utility>

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

// The span [from, to) of what a widget shows as the span of `text` it stands for. The widget
// shows `text` character for character, but for a carriage return shown as a line break, which
// stands for the line feed after it too where there is one (as displayForm does); a carriage
// return typed into a line box stays itself there. Nothing when `shown` is no such view of
// `text`.
std::optional<std::pair<qsizetype, qsizetype>> textSpan(const QString& text, const QString& shown, qsizetype from,
                                                        qsizetype to)
{
    qsizetype begin = 0, end = 0;
    for (qsizetype s = 0, t = 0;; ++s, ++t) {
        if (s == from)
            begin = t;
        if (s == to)
            end = t;
        if (s == shown.size() || t == text.size()) {
            if (s == shown.size() && t == text.size())
                return std::pair{begin, end};
            return std::nullopt;
        }
        if (text[t] == shown[s])
            continue;
        if (text[t] != u'\r' || shown[s] != u'\n')
            return std::nullopt;
        if (t + 1 < text.size() && text[t + 1] == u'\n')
            ++t;
    }
}

} // namespace

TextBox::TextBox(const QString& name, Lines lines, QWidget* parent) : QObject(parent), RefreshClient(Stage::Content)
{
    setObjectName(name);
    if (lines == Lines::Single) {
        line_ = new QLineEdit(parent);
        line_->setMaxLength(kMaxTypedLength);
        widget_ = line_;
        connect(line_, &QLineEdit::textEdited, this, &TextBox::takeOperatorEdit);
        line_->installEventFilter(this);
    } else {
        multi_ = new QPlainTextEdit(parent);
        multi_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        multi_->setTabChangesFocus(true); // Tab moves on, as in every other box
        widget_ = multi_;
        connect(multi_, &QPlainTextEdit::textChanged, this, [this] {
            if (!syncing_)
                takeOperatorEdit(shownText());
        });
        multi_->installEventFilter(this);
        multi_->viewport()->installEventFilter(this); // mouse, drops and menus arrive there
    }
    widget_->setObjectName(name);
}

// The operator's edits (keys, input methods, drops, a middle-button paste, the context menu)
// start with one of these events: the widget catches up first, so the edit applies to the
// current text.
bool TextBox::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::InputMethod:
    case QEvent::Drop: syncNow(); break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) // pastes the selection
            syncNow();
        break;
    case QEvent::ContextMenu: showContextMenu(static_cast<QContextMenuEvent*>(event)->globalPos()); return true;
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

// The widget's own menu, as it would show it, but a chosen action (paste, cut, undo, delete)
// edits the text that came in while the menu was open too: the menu hides before it acts.
void TextBox::showContextMenu(const QPoint& globalPos)
{
    syncNow();
    QMenu* menu = line_ ? line_->createStandardContextMenu() : multi_->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu, &QMenu::aboutToHide, this, &TextBox::syncNow);
    menu->popup(globalPos);
}

void TextBox::takeOperatorEdit(const QString& nowShown)
{
    const int caret = line_ ? line_->cursorPosition() : multi_->textCursor().position();
    // The edited span is what the widget's text before and after do not share at either end;
    // it ends at the caret, so that in a run of like characters the new one is before the caret.
    const qsizetype before = shown_.size(), after = nowShown.size();
    qsizetype prefix = 0, suffix = 0;
    const qsizetype maxSuffix = qMin(before, after - qBound(0, caret, int(after)));
    while (suffix < maxSuffix && shown_[before - 1 - suffix] == nowShown[after - 1 - suffix])
        ++suffix;
    const qsizetype maxPrefix = qMin(before, after) - suffix;
    while (prefix < maxPrefix && shown_[prefix] == nowShown[prefix])
        ++prefix;
    // Outside that span the text keeps its own characters: carriage returns stay 13.
    if (const auto span = textSpan(shownOf_, shown_, prefix, before - suffix))
        text_ = shownOf_.left(span->first) + nowShown.mid(prefix, after - suffix - prefix) + shownOf_.mid(span->second);
    else
        text_ = nowShown;
    shown_ = nowShown;
    shownOf_ = text_;
    selStart_ = caret;
    // A line break typed just after a carriage return (or a deletion between the two) makes a
    // CR LF, which shows as one break: the widget catches up with that.
    if (!textSpan(text_, shown_, 0, 0))
        scheduleSync();
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

QString TextBox::shownText() const
{
    if (line_)
        return line_->text();
    // toPlainText() would turn no-break spaces into spaces as well.
    QString shown = multi_->document()->toRawText();
    shown.replace(QChar::ParagraphSeparator, u'\n');
    shown.replace(QChar::LineSeparator, u'\n');
    return shown;
}

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
    shown_ = shown;
    shownOf_ = text_;
    syncing_ = false;
}

} // namespace veltrano
