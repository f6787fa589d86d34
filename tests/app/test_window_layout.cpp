// The window as it stands before its load event: controls, texts, states and order.
#include "support/form_fixture.h"

#include <QLineEdit>
#include <QtTest>

using namespace veltrano;
using veltrano::testing::FormFixture;

namespace {
QStringList items(const DropDownCombo* box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}
} // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void captionsAndTexts()
    {
        FormFixture f({}, false);
        Form1& w = *f.form;
        QCOMPARE(w.windowTitle(), QString("VELTRANO"));
        const QList<QPair<QAbstractButton*, QString>> captions = {{w.CAP_NHAT, "FIND COM"},
                                                                  {w.Command4, "CONNECTING"},
                                                                  {w.Check1, "Acc"},
                                                                  {w.Check3, "CounterMode"},
                                                                  {w.Command2, "LOAD DATA"},
                                                                  {w.TX, "TX"},
                                                                  {w.Draw, "SIMULATION"},
                                                                  {w.Command1, "RUN"},
                                                                  {w.Command3, "DIV"},
                                                                  {w.Command5, "STOP"},
                                                                  {w.End, "End"},
                                                                  {w.Check4, "Stop"},
                                                                  {w.Check2, "3D"}};
        for (const auto& [button, caption] : captions)
            QCOMPARE(button->text(), caption);
        QCOMPARE(w.Label1->text(), QString("SPEED FACTOR"));
        QCOMPARE(w.Label3->text(), QString(" RESPONSES"));
        QCOMPARE(w.Label4->text(), QString("SPEED TEST"));
        for (TextBox* t : {w.Text1, w.Text2, w.Text3, w.Text5, w.Text6, w.Text7})
            QCOMPARE(t->text(), QString());
        QCOMPARE(w.Text4->text(), QString("50"));
    }

    void initialStates()
    {
        FormFixture f({}, false);
        Form1& w = *f.form;
        for (QPushButton* b : {w.Command1, w.Command2, w.Command3, w.Command5})
            QVERIFY(!b->isEnabled());
        QVERIFY(w.TX->isEnabled());
        for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{w.Check1, w.Check2, w.Check3, w.Check4})
            QVERIFY(!b->isChecked());
        QVERIFY(!f.bar->isVisible());
        QCOMPARE(f.bar->value(), 0.0f);
        QVERIFY(f.timer->isEnabled());
        QVERIFY(!f.serial->portOpen());
        QCOMPARE(w.progressActive, std::int16_t(0));
        QVERIFY(!w.data0 && !w.data1 && !w.data2);
        QCOMPARE(w.data3, std::uint8_t(0));
        // Everything but the progress bar is visible before start-up hides its share.
        for (QWidget* c : w.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY2(!c->isHidden() || c->objectName() == "ProgressBar1", qPrintable(c->objectName()));
    }

    void disabledButton_raisesNothing()
    {
        FormFixture f({3}, false);
        f.form->Combo4->setText("COM3");
        FormFixture::click(f.form->Command4);
        f.serial->outputs.clear();
        for (QPushButton* b : {f.form->Command1, f.form->Command3, f.form->Command5})
            FormFixture::click(b);
        QVERIFY(f.serial->outputs.isEmpty());
    }

    void comboBoxes_promptsItemsAndNoSelection()
    {
        FormFixture f({}, false);
        Form1& w = *f.form;
        QCOMPARE(w.Combo4->text(), QString("COM PORT"));
        QCOMPARE(w.Combo3->text(), QString("DEFAULT BAUR 115200"));
        QCOMPARE(w.Combo1->text(), QString("MODES CONTROL"));
        QCOMPARE(items(w.Combo4), QStringList());
        QCOMPARE(items(w.Combo3), (QStringList{"2400", "9600", "115200"}));
        QCOMPARE(items(w.Combo1), (QStringList{"H-BRIDGE", "PID SPEED", "PID POSITION", "RC SERVO MODE",
                                               "ANALOG PID MODE", "ANALOG MODE"}));
        for (DropDownCombo* c : {w.Combo1, w.Combo3, w.Combo4}) {
            QCOMPARE(c->listIndex(), -1);
            QVERIFY(c->isEditable());
        }
        // Choosing and then typing over a choice is "no selection" again.
        w.Combo1->setCurrentIndex(3);
        QCOMPARE(w.Combo1->listIndex(), 3);
        QTest::keyClicks(w.Combo1->lineEdit(), "x");
        QCOMPARE(w.Combo1->listIndex(), -1);
        // Enter does not add the typed text to the list.
        QTest::keyClick(w.Combo1->lineEdit(), Qt::Key_Return);
        QCOMPARE(w.Combo1->count(), 6);
    }

    void scrollBar_rangeStepsAndEcho()
    {
        FormFixture f({}, false);
        QScrollBar* s = f.form->HScroll1;
        QCOMPARE(s->minimum(), 1);
        QCOMPARE(s->maximum(), 500);
        QCOMPARE(s->value(), 50);
        QCOMPARE(s->singleStep(), 1);
        QCOMPARE(s->pageStep(), 1);
        s->setValue(0);
        QCOMPARE(s->value(), 1);
        s->setValue(9999);
        QCOMPARE(s->value(), 500);
        QCOMPARE(f.form->Text4->text(), QString("500"));
    }

    void geometry_followsTheTwipsTable()
    {
        FormFixture f({}, false);
        Form1& w = *f.form;
        QCOMPARE(w.CAP_NHAT->geometry(), QRect(416, 24, 145, 60));
        QCOMPARE(w.Combo1->geometry(), QRect(416, 224, 305, 27));
        QCOMPARE(w.Text2->widget()->geometry(), QRect(8, 48, 145, 185));
        QCOMPARE(w.End->geometry(), QRect(8, 488, 145, 57));
        QCOMPARE(w.HScroll1->geometry(), QRect(408, 600, 273, 33));
        QCOMPARE(w.Command4->font().family(), QString("Times New Roman"));
        QCOMPARE(w.Command4->font().pointSizeF(), 15.75);
        QVERIFY(w.Command4->font().bold());
        QCOMPARE(w.Text3->widget()->font().pointSizeF(), 13.5);
        QCOMPARE(w.Check4->font().pointSizeF(), 12.0);
        QVERIFY(!w.Check4->font().bold());
        QCOMPARE(w.Command4->palette().color(QPalette::Button), QColor(255, 128, 0));
        QCOMPARE(w.Text7->widget()->palette().color(QPalette::Base), QColor(0, 0, 255));
        QCOMPARE(w.Text7->widget()->palette().color(QPalette::Text), QColor(255, 255, 0));
        QCOMPARE(w.Label1->palette().color(QPalette::WindowText), QColor(255, 255, 0));
        QVERIFY(w.Label1->alignment() & Qt::AlignRight);
    }

    void tabOrder_runsByTabIndex()
    {
        FormFixture f({}, false);
        Form1& w = *f.form;
        // Every control carries its tab index, 0 to 28 without gaps; the chart (22) and the
        // progress bar (28) are fakes without a widget here.
        QList<int> indices;
        for (QWidget* c : w.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (c->property("tabIndex").isValid())
                indices << c->property("tabIndex").toInt();
        }
        std::sort(indices.begin(), indices.end());
        QList<int> expected;
        for (int i = 0; i <= 28; ++i) {
            if (i != 22 && i != 28)
                expected << i;
        }
        QCOMPARE(indices, expected);
        // Focus moves through the focusable ones in that order.
        QWidget* at = w.Text1->widget();
        QStringList visited;
        for (int i = 0; i < 24; ++i) {
            visited << at->objectName();
            do {
                at = at->nextInFocusChain();
            } while (at->parentWidget() != &w || !(at->focusPolicy() & Qt::TabFocus));
        }
        const QStringList expectedNames = {"Text1",    "Text3",    "Combo1",   "Text5",    "Text6",  "Combo3",
                                           "Command2", "Text2",    "Command4", "Combo4",   "Text7",  "CAP_NHAT",
                                           "TX",       "Command1", "Command3", "Command5", "Check1", "Draw",
                                           "End",      "Check2",   "HScroll1", "Text4",    "Check3", "Check4"};
        QCOMPARE(visited, expectedNames);
    }

    void stackingOrder_putsTheChartOptionsInFront()
    {
        FormFixture f({}, false);
        Form1& w = *f.form;
        QStringList backToFront;
        for (QObject* c : w.children()) {
            if (auto* widget = qobject_cast<QWidget*>(c))
                backToFront << widget->objectName();
        }
        const auto before = [&](const QString& back, const QString& front) {
            return backToFront.indexOf(back) < backToFront.indexOf(front);
        };
        // The chart is a fake here; the progress bar is too. Check the ones that overlap it.
        for (const char* front : {"Check4", "Check3", "Text4", "HScroll1", "Draw", "Check2"})
            QVERIFY2(before("End", front), front);
        for (const char* back : {"Combo4", "Command4", "Text2", "Command2", "Combo3", "Text6", "Text5", "Combo1",
                                 "Text3", "Text1", "Label4", "Label3", "Label1"})
            QVERIFY2(before(back, "Check2"), back);
        QVERIFY(before("Label1", "Label3"));
        QVERIFY(before("Label3", "Label4"));
        QVERIFY(before("Check4", "ProgressBar1") || !backToFront.contains("ProgressBar1"));
    }
};

QTEST_MAIN(WindowLayoutTest)
#include "test_window_layout.moc"
