// The text box's own rules, met through its widget: an operator's edit replaces only the
// span it changed, so the program's carriage returns (code 13) stay where they were, and a
// line break typed just after one makes a CR LF.
#include "controls/text_box.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QWidget>

using namespace veltrano;

class TestTextBox : public QObject {
    Q_OBJECT
private slots:
    void editReplacesOnlyItsSpan_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("caretAfter");
        QTest::newRow("typed after a CR") << "ab\rcd" << 5 << int(Qt::Key_X) << "ab\rcdx" << 6;
        QTest::newRow("typed before a CR") << "ab\rcd" << 1 << int(Qt::Key_X) << "axb\rcd" << 2;
        QTest::newRow("in a run of like characters") << "aaa" << 1 << int(Qt::Key_A) << "aaaa" << 2;
        QTest::newRow("backspace after a CR") << "a\rb" << 3 << int(Qt::Key_Backspace) << "a\r" << 2;
        QTest::newRow("backspace takes the CR") << "a\rb" << 2 << int(Qt::Key_Backspace) << "ab" << 1;
        QTest::newRow("line break after a CR makes CR LF") << "ab\r" << 3 << int(Qt::Key_Return) << "ab\r\n" << 4;
        QTest::newRow("line break between a CR and text") << "a\rb" << 2 << int(Qt::Key_Return) << "a\r\nb" << 3;
    }

    void editReplacesOnlyItsSpan()
    {
        QFETCH(QString, text);
        QFETCH(int, caret);
        QFETCH(int, key);
        QFETCH(QString, expected);
        QFETCH(int, caretAfter);
        QWidget window;
        TextBox box(QStringLiteral("Text1"), TextBox::Lines::Multi, &window);
        window.show();
        box.setText(text);
        box.syncNow();
        auto* edit = qobject_cast<QPlainTextEdit*>(box.widget());
        QVERIFY(edit);
        edit->setFocus();
        box.setSelStart(caret);
        QTest::keyClick(edit, Qt::Key(key));
        QCOMPARE(box.text(), expected);
        QCOMPARE(box.selStart(), caretAfter);
        // The widget catches up with a CR LF, which shows as one line break.
        box.syncNow();
        QCOMPARE(box.shownText(),
                 QString(expected).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n'));
    }
};

QTEST_MAIN(TestTextBox)
#include "test_text_box.moc"
