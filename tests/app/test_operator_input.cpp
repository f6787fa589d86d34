// The window under an operator's hands: clicks at window positions, typing, Tab, Enter and
// Space go through Qt's own hit-testing and focus handling, then the handlers.
#include "support/form_fixture.h"
#include "support/operator_input.h"

#include <QClipboard>
#include <QMenu>
#include <QtTest>

using namespace veltrano;
using veltrano::testing::FormFixture;
using veltrano::testing::OperatorInput;

namespace {

QWidget* control(Form1& w, const QString& name) { return w.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly); }

// The focusable controls by tab index; labels, the chart and the progress bar take no focus.
const QStringList kTabOrder = {"Text1",    "Text3",    "Combo1",   "Text5",    "Text6",  "Combo3",
                               "Command2", "Text2",    "Command4", "Combo4",   "Text7",  "CAP_NHAT",
                               "TX",       "Command1", "Command3", "Command5", "Check1", "Draw",
                               "End",      "Check2",   "HScroll1", "Text4",    "Check3", "Check4"};

// Connects to COM3 by typing its name and clicking the connect toggle.
void connectByHand(OperatorInput& op, Form1& w)
{
    op.clickOn(w.Combo4);
    op.key(Qt::Key_A, Qt::ControlModifier);
    op.type("COM3");
    op.clickOn(w.Command4);
}

} // namespace

class OperatorInputTest : public QObject {
    Q_OBJECT
private slots:
    void chartClicks_reachNothingBehindTheChart_optionsInFrontStayClickable()
    {
        FormFixture f({3}, true, FormFixture::Chart::Real);
        Form1& w = *f.form;
        OperatorInput op(&w);
        connectByHand(op, w);
        op.clickOn(w.Draw);
        QCOMPARE(w.Draw->text(), QString("Stop"));
        const QByteArray written = f.serial->written();

        const QStringList behind = {"CAP_NHAT", "Command4", "Command2", "Combo4",
                                    "Combo3",   "Text3",    "Check1",   "Label3"};
        for (bool threeD : {false, true}) {
            f.realChart->setView3D(threeD);
            for (const QString& name : behind) {
                QWidget* hidden = control(w, name);
                QWidget* focusBefore = op.focusedControl();
                op.clickAt(hidden->geometry().center());
                QVERIFY2(f.serial->portOpen() && f.serial->written() == written, qPrintable(name));
                QCOMPARE(w.Command4->text(), QString("DISCONECT"));
                QCOMPARE(op.focusedControl(), focusBefore);
            }
        }
        f.realChart->setView3D(false);

        op.clickOn(w.Check2);
        QVERIFY(w.Check2->isChecked() && f.realChart->view3D());
        op.clickOn(w.Check4);
        QVERIFY(w.Check4->isChecked() && !f.timer->isEnabled());
        op.clickOn(w.HScroll1, QPoint(w.HScroll1->width() - 4, w.HScroll1->height() / 2));
        QCOMPARE(w.HScroll1->value(), 51);
        QCOMPARE(w.Text4->text(), QString("51"));
        op.clickOn(w.Text4->widget());
        QCOMPARE(op.focusedControl(), w.Text4->widget());
    }

    void typedComboText_staysAsTypedAndIsNoChoice_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("downKeys"); // presses of the Down arrow after typing: picks from the list
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("listIndex");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QByteArray>("written"); // after connecting and LOAD DATA

        const QByteArray record = "AC2600=1=10=2=0=1F";
        QTest::newRow("lower-case port name") << "Combo4"
                                              << "com16" << 0 << "com16" << -1 << "9600,N,8,1" << QByteArray();
        QTest::newRow("prefix of a rate") << "Combo3"
                                          << "9" << 0 << "9" << -1 << "115200,N,8,1" << record;
        QTest::newRow("rate typed in full") << "Combo3"
                                            << "9600" << 0 << "9600" << -1 << "115200,N,8,1" << record;
        QTest::newRow("rate picked after typing") << "Combo3"
                                                  << "24" << 2 << "9600" << 1 << "9600,N,8,1" << record;
        QTest::newRow("prefix of a mode") << "Combo1"
                                          << "pid" << 0 << "pid" << -1 << "115200,N,8,1" << record;
        QTest::newRow("mode typed in full") << "Combo1"
                                            << "PID SPEED" << 0 << "PID SPEED" << -1 << "115200,N,8,1" << record;
        QTest::newRow("mode picked after typing")
            << "Combo1"
            << "x" << 3 << "PID POSITION" << 2 << "115200,N,8,1" << QByteArray("AC2600=1=10=2=2=1F");
    }

    void typedComboText_staysAsTypedAndIsNoChoice()
    {
        QFETCH(QString, combo);
        QFETCH(QString, typed);
        QFETCH(int, downKeys);
        FormFixture f({3, 16});
        Form1& w = *f.form;
        OperatorInput op(&w);
        auto* box = static_cast<DropDownCombo*>(control(w, combo));

        // The wheel over a box without focus changes nothing.
        op.wheelAt(op.windowPos(w.Combo3), -1);
        QCOMPARE(w.Combo3->text(), QString("DEFAULT BAUR 115200"));
        QCOMPARE(w.Combo3->listIndex(), -1);

        op.clickOn(box);
        op.key(Qt::Key_A, Qt::ControlModifier);
        op.type(typed);
        op.enter();
        for (int i = 0; i < downKeys; ++i)
            op.key(Qt::Key_Down);
        op.tab();
        QTEST(box->text(), "shown");
        QTEST(box->listIndex(), "listIndex");

        if (box != w.Combo4) {
            op.clickOn(w.Combo4);
            op.key(Qt::Key_A, Qt::ControlModifier);
            op.type("COM3");
        }
        op.clickOn(w.Command4);
        op.clickOn(w.Command2);
        QTEST(f.serial->settings(), "settings");
        QTEST(f.serial->written(), "written");
    }

    void tabChain_visitsEveryUsableControlInOrder_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("chartView");
        QTest::newRow("setup view, disconnected") << false << false;
        QTest::newRow("setup view, connected") << true << false;
        QTest::newRow("chart view, connected") << true << true;
    }

    void tabChain_visitsEveryUsableControlInOrder()
    {
        QFETCH(bool, connected);
        QFETCH(bool, chartView);
        FormFixture f({3});
        Form1& w = *f.form;
        OperatorInput op(&w);
        if (connected)
            connectByHand(op, w);
        if (chartView)
            op.clickOn(w.Draw);
        w.Text2->setText("status\rline"); // a multi-line box among them

        QStringList expected;
        for (const QString& name : kTabOrder) {
            QWidget* c = control(w, name);
            if (c->isVisible() && c->isEnabled())
                expected << name;
        }
        QVERIFY(expected.contains("Text2") == connected);
        QMap<QString, QString> textsBefore;
        for (TextBox* t : w.findChildren<TextBox*>())
            textsBefore[t->objectName()] = t->text();

        control(w, expected.first())->setFocus(Qt::TabFocusReason);
        QStringList forward{op.focusedControl()->objectName()};
        for (int i = 0; i < expected.size(); ++i) {
            op.tab();
            forward << op.focusedControl()->objectName();
        }
        QCOMPARE(forward, expected + QStringList{expected.first()});
        QStringList backward;
        for (int i = 0; i < expected.size(); ++i) {
            op.backtab();
            backward.prepend(op.focusedControl()->objectName());
        }
        QCOMPARE(backward, expected);
        for (TextBox* t : w.findChildren<TextBox*>())
            QCOMPARE(t->text(), textsBefore[t->objectName()]);
    }

    void enterAndSpace_clickOnlyTheFocusedCommandButton_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("clicked");
        QTest::newRow("Enter on a command button") << "TX" << int(Qt::Key_Return) << QStringList{"TX"};
        QTest::newRow("keypad Enter") << "Draw" << int(Qt::Key_Enter) << QStringList{"Draw"};
        QTest::newRow("Space on a command button") << "TX" << int(Qt::Key_Space) << QStringList{"TX"};
        QTest::newRow("Enter on a push-style check box") << "Check1" << int(Qt::Key_Return) << QStringList{};
        QTest::newRow("Space on a push-style check box") << "Check1" << int(Qt::Key_Space) << QStringList{"Check1"};
        QTest::newRow("Enter in a text box: no default button") << "Text3" << int(Qt::Key_Return) << QStringList{};
    }

    void enterAndSpace_clickOnlyTheFocusedCommandButton()
    {
        QFETCH(QString, focused);
        QFETCH(int, key);
        FormFixture f({3});
        Form1& w = *f.form;
        OperatorInput op(&w);
        QStringList clicked;
        for (QAbstractButton* b : w.findChildren<QAbstractButton*>())
            connect(b, &QAbstractButton::clicked, b, [&clicked, b] { clicked << b->objectName(); });
        control(w, focused)->setFocus(Qt::TabFocusReason);
        op.key(key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QTEST(clicked, "clicked");
    }

    void operatorEdit_landsInTheCurrentTextKeepingItsCarriageReturns_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("chartView");
        // <bytes received, >keys typed, ^n ticks, ~ the widgets catch up, c a click into the box,
        // m its context menu opened, v the menu's Paste chosen (the clipboard holds "P")
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QByteArray>("expected"); // the box afterwards; in the chart view data0 to data3
        QTest::newRow("setup log, keys between received characters")
            << "Text2" << false << QStringList{"<a\r\nb", ">x", "<cd", ">yz", "<e"} << QByteArray("\ra\r\nbxcdyze");
        QTest::newRow("setup log, pasted from the menu while more came in")
            << "Text2" << false << QStringList{"<ab", "m", "<cd", "v", "<e"} << QByteArray("\rabcdPe");
        QTest::newRow("progress line, keys between ticks")
            << "Text7" << false << QStringList{"^2", ">x", "^1", ">y"} << QByteArray(">>x>y");
        QTest::newRow("frame box, edited after its carriage return")
            << "Text2" << true << QStringList{"<AB", "~", "c", ">x", "<E"} << QByteArray("\rABx");
    }

    void operatorEdit_landsInTheCurrentTextKeepingItsCarriageReturns()
    {
        QFETCH(QString, box);
        QFETCH(bool, chartView);
        QFETCH(QStringList, steps);
        FormFixture f({3});
        Form1& w = *f.form;
        OperatorInput op(&w);
        connectByHand(op, w);
        if (chartView)
            op.clickOn(w.Draw);
        TextBox* t = box == "Text2" ? w.Text2 : w.Text7;
        QGuiApplication::clipboard()->setText("P");
        for (const QString& step : QStringList{"~", "c"} + steps) {
            const QString arg = step.mid(1);
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            switch (step[0].unicode()) {
            case '<': f.serial->receive(arg.toLatin1()); break;
            case '>': op.type(arg); break;
            case '^': QCOMPARE(f.timer->fire(arg.toInt()), arg.toInt()); break;
            case '~': QTest::qWait(RefreshClock::kLatest * 2); break;
            case 'c': op.clickOn(t->widget()); break;
            case 'm': QTest::mouseClick(w.windowHandle(), Qt::RightButton, {}, op.windowPos(t->widget())); break;
            case 'v':
                QVERIFY(menu);
                for (QAction* a : menu->actions())
                    if (a->text().startsWith("&Paste"))
                        menu->setActiveAction(a);
                QTest::keyClick(menu, Qt::Key_Return);
            }
        }
        QByteArray sample;
        for (int code : {int(w.data0.value_or(-1)), int(w.data1.value_or(-1)), int(w.data2.value_or(-1)), int(w.data3)})
            sample += char(code);
        QTEST(chartView ? sample : t->text().toLatin1(), "expected");
    }

    void faces_showTheirColoursSolid()
    {
        FormFixture f({3}, true, FormFixture::Chart::Real);
        Form1& w = *f.form;
        OperatorInput op(&w);
        const QColor highlight = w.palette().color(QPalette::Highlight);
        const QColor titleText = w.palette().color(QPalette::Active, QPalette::HighlightedText);
        const struct {
            const char* name;
            QColor face;
            bool chartView;
        } faces[] = {
            {"CAP_NHAT", highlight, false},     {"Command4", {255, 128, 0}, false}, {"Command2", {255, 128, 0}, false},
            {"Check1", {128, 128, 0}, false},   {"Check3", {128, 128, 0}, false},   {"TX", {0, 0, 192}, false},
            {"Draw", {0, 0, 255}, false},       {"Command1", {192, 192, 0}, false}, {"Command3", {192, 192, 0}, false},
            {"Command5", {192, 192, 0}, false}, {"End", {255, 0, 0}, false},        {"Check2", {0, 0, 255}, true},
            {"Check4", titleText, true},
        };
        for (bool chartView : {false, true}) {
            if (chartView)
                op.clickOn(w.Draw);
            const QImage shot = w.grab().toImage();
            for (const auto& face : faces) {
                if (face.chartView != chartView)
                    continue;
                QWidget* c = control(w, face.name);
                const QRect r = c->geometry();
                // Inside the face, clear of the caption: the corners inside the bevel, on the
                // right only for check boxes, whose box stands on the left.
                const bool checkBox = qobject_cast<QCheckBox*>(c);
                const QList<QPoint> corners = {{r.right() - 3, r.top() + 3},
                                               {r.right() - 3, r.bottom() - 3},
                                               {r.left() + 3, r.top() + 3},
                                               {r.left() + 3, r.bottom() - 3}};
                for (const QPoint& at : corners.mid(0, checkBox ? 2 : 4)) {
                    QVERIFY2(shot.pixelColor(at) == face.face, qPrintable(QString("%1 at %2,%3: %4")
                                                                              .arg(face.name)
                                                                              .arg(at.x())
                                                                              .arg(at.y())
                                                                              .arg(shot.pixelColor(at).name())));
                }
                if (!c->isEnabled()) { // a disabled caption stands out from its face
                    int best = 0;
                    for (int y = r.top() + 4; y < r.bottom() - 4; ++y)
                        for (int x = r.left() + 4; x < r.right() - 4; ++x)
                            best = std::max(best, qAbs(qGray(shot.pixel(x, y)) - qGray(face.face.rgb())));
                    QVERIFY2(best >= 90, qPrintable(QString("%1 caption: %2 grey levels").arg(face.name).arg(best)));
                }
            }
        }
    }

    void responsesLabel_wrapsToItsSecondLine()
    {
        FormFixture f;
        Form1& w = *f.form;
        OperatorInput op(&w);
        QImage ink(w.Label3->size(), QImage::Format_ARGB32_Premultiplied);
        ink.fill(Qt::transparent);
        w.Label3->render(&ink, QPoint(), QRegion(), QWidget::DrawChildren);
        int firstRow = -1;
        for (int y = 0; y < ink.height() && firstRow < 0; ++y)
            for (int x = 0; x < ink.width(); ++x)
                if (qAlpha(ink.pixel(x, y)) > 128) {
                    firstRow = y;
                    break;
                }
        QVERIFY2(firstRow >= w.Label3->fontMetrics().height() * 3 / 4, qPrintable(QString::number(firstRow)));
        QVERIFY(w.Label3->y() + firstRow > w.Label1->geometry().bottom());
        QVERIFY(w.Label3->y() + firstRow < w.Text5->widget()->geometry().bottom());
    }
};

QTEST_MAIN(OperatorInputTest)
#include "test_operator_input.moc"
