// LOAD DATA, the counter-edge box and the progress indicator.
#include "support/form_fixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QtTest>

using namespace veltrano;
using veltrano::testing::FormFixture;

namespace {
// Types text the way a keyboard does, also characters that no key code names.
void type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

const QString okLine = QString(40, '-') + "____OK____" + QString(44, '-');
const QString loadFail = QString(32, '-') + "load fail" + QString(36, '-');
} // namespace

class DownloadTest : public QObject {
    Q_OBJECT
private slots:
    void download_writesThirteenPiecesAndEnablesMotion()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.serial->outputs.clear();
        f.form->Text7->setText("old");
        FormFixture::click(f.form->Command2);
        const QList<QByteArray> expected = {"C", "2600", "=", "1", "=", "10", "=", "2", "=", "0", "=", "1", "F"};
        QCOMPARE(f.serial->outputs, expected);
        QCOMPARE(f.form->Text2->text(), QString("\r"));
        QCOMPARE(f.form->Text7->text(), QString());
        QCOMPARE(f.form->progressActive, std::int16_t(1));
        QVERIFY(f.form->Command1->isEnabled() && f.form->Command3->isEnabled() && f.form->Command5->isEnabled());
    }

    void download_workedExample_inEitherView()
    {
        for (bool chartView : {false, true}) {
            FormFixture f({3});
            f.connect("COM3");
            Form1& w = *f.form;
            w.Text3->setText("0");
            w.Text6->setText("5");
            w.Check1->click();
            w.Combo1->setCurrentIndex(3);
            if (chartView)
                FormFixture::click(w.Draw);
            f.serial->outputs.clear();
            FormFixture::click(w.Command2);
            QCOMPARE(f.serial->written(), QByteArray("C1=9=10=5=3=1F"));
            QCOMPARE(f.serial->outputs.size(), 13);
        }
    }

    void download_fieldsTypedByTheOperatorGoOutAsTyped()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.form->show();
        type(f.form->Text3->widget(), "=F");
        type(f.form->Text5->widget(), "độ");
        f.serial->outputs.clear();
        FormFixture::click(f.form->Command2);
        QCOMPARE(f.serial->written(), QByteArray("C=F=1=?"
                                                 "?=2=0=1F"));
    }

    void download_withPortClosed_disablesMotionAndShowsLoadFail()
    {
        FormFixture f({3});
        f.connect("COM3");
        FormFixture::click(f.form->Command2);
        QVERIFY(f.form->Command1->isEnabled());
        f.serial->loseDeviceUnreported(); // LOAD DATA is still usable until the loss is reported
        f.serial->outputs.clear();
        f.form->progressActive = 0;
        FormFixture::click(f.form->Command2);
        QVERIFY(f.serial->outputs.isEmpty());
        QVERIFY(!f.form->Command1->isEnabled() && !f.form->Command3->isEnabled() && !f.form->Command5->isEnabled());
        QCOMPARE(f.form->Text7->text(), loadFail);
        QCOMPARE(f.form->Text2->text(), QString("\r"));
        QCOMPARE(f.form->progressActive, std::int16_t(0));
    }

    void download_writeFailingHalfway_keepsWhatWasSent()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.serial->outputs.clear();
        f.serial->failAt(FakeSerialControl::Member::Output, 6);
        FormFixture::click(f.form->Command2); // through the dispatcher, which reports and goes on
        QCOMPARE(f.serial->outputs, (QList<QByteArray>{"C", "2600", "=", "1", "="}));
        QCOMPARE(f.form->progressActive, std::int16_t(1));
        QVERIFY(!f.form->Command1->isEnabled() && !f.form->Command3->isEnabled() && !f.form->Command5->isEnabled());
    }

    void counterEdgeCaption_alternatesIndependentlyOfTheMark()
    {
        FormFixture f({3});
        QStringList captions;
        for (int i = 0; i < 3; ++i) {
            FormFixture::click(f.form->Check3);
            captions << f.form->Check3->text();
        }
        QCOMPARE(captions, (QStringList{"Falling", "Rising", "Falling"}));
        QVERIFY(f.form->Check3->isChecked()); // three clicks: checked
        f.form->Check3->setChecked(false);
        f.connect("COM3");
        f.serial->outputs.clear();
        FormFixture::click(f.form->Command2);
        QCOMPARE(f.serial->outputs[11], QByteArray("1"));
    }

    void progressRun_courseTickByTick()
    {
        FormFixture f;
        Form1& w = *f.form;
        f.startProgressRun();
        for (int tick = 1; tick <= 60; ++tick) {
            f.timer->fire();
            QCOMPARE(f.bar->value(), float(qMin(2 * tick, 100)));
            QVERIFY(f.bar->isVisible());
            QCOMPARE(w.Text7->text(), QString(tick, '>'));
            QCOMPARE(w.Text7->selStart(), tick);
        }
        f.timer->fire(); // 61
        QCOMPARE(w.Text7->text(), okLine);
        QCOMPARE(okLine.size(), 94);
        QCOMPARE(f.bar->value(), 0.0f);
        QVERIFY(f.bar->isVisible());
        QCOMPARE(w.progressActive, std::int16_t(0));
        QCOMPARE(w.progressTicks, 0.0);
        f.timer->fire(); // 62
        QVERIFY(!f.bar->isVisible());
        QCOMPARE(w.Text7->text(), okLine);
        // A new run counts from nothing again.
        f.startProgressRun();
        f.timer->fire();
        QCOMPARE(f.bar->value(), 2.0f);
        QCOMPARE(w.progressTicks, 1.0);
    }

    void progressRun_restartWhileRunningChangesNothing()
    {
        FormFixture f({3});
        Form1& w = *f.form;
        f.connect("COM3");
        f.serial->outputs.clear();
        FormFixture::click(w.Command2);
        f.timer->fire(10);
        FormFixture::click(w.Command2); // ten ticks later: a second full record, the ticker starts over
        QCOMPARE(f.serial->outputs.size(), 26);
        QCOMPARE(w.Text7->text(), QString());
        emit f.serial->onComm(); // no event waiting: ignored
        f.serial->receive("x"); // a reply in the setup view restarts the already running indicator
        f.timer->fire(50); // ticks 11 to 60
        QCOMPARE(w.Text7->text(), QString(50, '>'));
        f.timer->fire();
        QCOMPARE(w.Text7->text(), okLine);
    }

    void tick_runsTheProgressStepInBothViews()
    {
        FormFixture f;
        Form1& w = *f.form;
        f.startProgressRun();
        f.timer->fire();
        FormFixture::click(w.Draw);
        f.timer->fire();
        QCOMPARE(w.progressTicks, 2.0);
        QCOMPARE(f.bar->value(), 4.0f);
    }

    void idleTick_onlyHidesTheBar()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.form->progressActive = 0;
        f.bar->setVisible(true);
        f.serial->outputs.clear();
        f.form->Text7->setText("keep");
        f.timer->fire();
        QVERIFY(!f.bar->isVisible());
        QCOMPARE(f.form->Text7->text(), QString("keep"));
        QVERIFY(f.serial->outputs.isEmpty());
    }
};

QTEST_MAIN(DownloadTest)
#include "test_download.moc"
