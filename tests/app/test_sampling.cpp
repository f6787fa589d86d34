// The timer tick in the chart view, the strip chart's window and the pause box.
#include "app/event_dispatch.h"
#include "protocol/progress.h"
#include "support/form_fixture.h"

#include <QtTest>

using namespace veltrano;
using veltrano::testing::FormFixture;

namespace {
struct ChartView : FormFixture {
    explicit ChartView(bool open = true) : FormFixture({3})
    {
        if (open)
            connect("COM3");
        click(form->Draw);
        serial->outputs.clear();
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            timer->fire();
    }
};
} // namespace

class SamplingTest : public QObject {
    Q_OBJECT
private slots:
    void window_settlesOneAboveTheScrollValue()
    {
        ChartView f;
        const double firstX = f.chart->lastX(0);
        for (int k = 1; k <= 60; ++k) {
            f.timer->fire();
            for (int s = 0; s < 4; ++s) {
                QCOMPARE(f.chart->pointCount(s), qMin(k + 1, 51));
                QCOMPARE(f.chart->lastX(s), firstX + k);
            }
        }
    }

    void window_loweredKeepsItsLengthRaisedGrowsOnePerTick()
    {
        ChartView f;
        f.ticks(100);
        f.form->HScroll1->setValue(10);
        f.ticks(5);
        QCOMPARE(f.chart->pointCount(0), 51);
        f.form->HScroll1->setValue(100);
        f.ticks(10);
        QCOMPARE(f.chart->pointCount(0), 61);
        f.ticks(100);
        QCOMPARE(f.chart->pointCount(3), 101);
        f.form->HScroll1->setValue(1);
        f.ticks(200);
        QCOMPARE(f.chart->pointCount(0), 101);
    }

    void window_ofOneSettlesAtTwo()
    {
        ChartView f;
        f.form->HScroll1->setValue(1);
        QCOMPARE(f.form->Text4->text(), QString("1"));
        f.ticks(5);
        for (int s = 0; s < 4; ++s)
            QCOMPARE(f.chart->pointCount(s), 2);
    }

    void plottedValues_zeroBeforeAnyFrameThenRepeatedUntilTheNext()
    {
        ChartView f;
        f.ticks(2);
        for (int s = 0; s < 4; ++s)
            QCOMPARE(f.chart->series(s).last().y, 0.0);
        f.serial->receive("\x10\x20\x30\x40"
                          "E");
        f.ticks(3); // the driver is silent after this frame
        const double expected[] = {0x10, 0x20, 0x30, 0x40};
        for (int s = 0; s < 4; ++s) {
            QCOMPARE(f.chart->series(s).last().y, expected[s]);
            QCOMPARE(f.chart->series(s)[f.chart->pointCount(s) - 3].y, expected[s]);
        }
    }

    void tick_plotsBeforeItPolls()
    {
        ChartView f;
        const int before = f.chart->pointCount(0);
        f.serial->outputs.clear();
        // A failing chart call ends the tick before its poll: plotting comes first.
        f.chart->failAtAdd(3);
        f.timer->fire();
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(f.chart->pointCount(0), before + 1);
        QCOMPARE(f.chart->pointCount(1), before + 1);
        QCOMPARE(f.chart->pointCount(2), before);
        f.chart->failAtAdd(0);
        f.timer->fire();
        QCOMPARE(f.serial->outputs, QList<QByteArray>{"Q"});
    }

    void tick_pollsOncePerTickWhetherAnsweredOrNot()
    {
        ChartView f;
        f.ticks(5);
        QCOMPARE(f.serial->outputs, (QList<QByteArray>(5, "Q")));
    }

    void tick_withPortClosed_reportsEveryTickAndKeepsPlotting()
    {
        ChartView f;
        f.form->progressActive = 1;
        f.serial->loseDevice();
        for (int k = 0; k < 3; ++k) {
            f.form->Text7->setText("x");
            f.timer->fire();
            QCOMPARE(f.form->Text7->text(), QString("MSComm = False "));
        }
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(f.chart->pointCount(0), 4);
        QCOMPARE(f.form->progressTicks, 3.0);
    }

    void tick_progressTickerAppendsBeforeTheSample()
    {
        ChartView f;
        f.form->progressActive = 1;
        f.timer->fire();
        QCOMPARE(f.form->Text7->text(), QString(">"));
        f.serial->receive("ABCDE");
        QCOMPARE(f.form->Text7->text(), QString("D"));
        f.timer->fire();
        QCOMPARE(f.form->Text7->text(), QString("D>"));
    }

    void setupView_tickWritesAndPlotsNothing()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.serial->outputs.clear();
        f.timer->fire();
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(f.chart->pointCount(0), 1);
    }

    // Resting never touches the pause: it holds through a rest in the setup view and the
    // work that wakes the timer there, until the box is cleared in the chart view.
    void pause_stopsTicksAndSurvivesViewSwitches()
    {
        ChartView f;
        f.ticks(62); // the greeting's progress run ends and its bar hides
        FormFixture::click(f.form->Check4);
        QVERIFY(!f.timer->isEnabled());
        QCOMPARE(f.timer->fire(3), 0);
        FormFixture::click(f.form->Draw); // to the setup view: nothing to do, and still paused
        QVERIFY(f.timer->isResting() && !f.timer->isEnabled());
        f.serial->receive("r"); // a reply gives the timer work again
        QVERIFY(!f.timer->isResting() && !f.timer->isEnabled());
        QCOMPARE(f.timer->fire(), 0);
        FormFixture::click(f.form->Draw);
        f.serial->outputs.clear();
        QCOMPARE(f.timer->fire(3), 0);
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(f.form->progressTicks, 0.0);
        FormFixture::click(f.form->Check4);
        QVERIFY(f.timer->isEnabled());
        const double x = f.chart->lastX(0);
        QCOMPARE(f.timer->fire(), 1);
        QCOMPARE(f.chart->lastX(0), x + 1);
        QCOMPARE(f.serial->outputs, QList<QByteArray>{"Q"});
        QCOMPARE(f.form->progressTicks, 1.0);
    }

    // A progress run started from a rest gets every one of its ticks, whatever happens to
    // the line meanwhile, and the timer rests again once the bar is hidden.
    void progressRun_fromARest_getsAllItsTicks_data()
    {
        QTest::addColumn<bool>("writeFails");
        QTest::newRow("device lost during the run") << false;
        QTest::newRow("download write fails") << true;
    }
    void progressRun_fromARest_getsAllItsTicks()
    {
        QFETCH(bool, writeFails);
        FormFixture f({3});
        Form1& w = *f.form;
        f.connect("COM3");
        QCOMPARE(f.timer->fire(100), 62); // the greeting's run; the timer rests
        f.serial->outputs.clear();
        const long failuresBefore = dispatchFailureCount();
        if (writeFails)
            f.serial->failAt(FakeSerialControl::Member::Output, 6);
        FormFixture::click(w.Command2);
        if (writeFails) {
            QCOMPARE(f.serial->outputs, (QList<QByteArray>{"C", "2600", "=", "1", "="}));
            QCOMPARE(dispatchFailureCount(), failuresBefore + 1);
            QVERIFY(!w.Command1->isEnabled() && !w.Command3->isEnabled() && !w.Command5->isEnabled());
        } else {
            f.serial->loseDevice(); // before the run's first tick, while its bar is still hidden
            QCOMPARE(w.Command4->text(), QString("CONNECTING"));
        }
        QCOMPARE(w.progressActive, std::int16_t(1));
        QVERIFY(!f.timer->isResting());
        QCOMPARE(f.timer->fire(100), 62); // 61 ticks end the run, the next hides the bar
        QCOMPARE(w.Text7->text(), kOkLine);
        QVERIFY(!f.bar->isVisible() && f.timer->isResting());
    }

    // The timer rests exactly when a tick would change nothing: in the setup view with no
    // progress run going and its bar hidden. Every handler the window runs decides it anew.
    void timer_restsOnlyWhenATickWouldChangeNothing()
    {
        FormFixture f({3});
        QVERIFY(f.timer->isResting()); // loaded, nothing to show
        f.connect("COM3"); // the greeting starts a progress run
        QVERIFY(!f.timer->isResting());
        for (int i = 0; i < 100 && f.form->progressActive == 1; ++i)
            f.timer->fire();
        QCOMPARE(f.form->progressActive, std::int16_t(0));
        QVERIFY(f.bar->isVisible()); // the full bar stays until the next tick
        QVERIFY(!f.timer->isResting());
        f.timer->fire();
        QVERIFY(!f.bar->isVisible());
        QVERIFY(f.timer->isResting());
        f.serial->receive("r"); // a reply starts a progress run again
        QVERIFY(!f.timer->isResting());
        FormFixture::click(f.form->Draw);
        for (int i = 0; i < 70; ++i)
            f.timer->fire();
        QCOMPARE(f.form->progressActive, std::int16_t(0));
        QVERIFY(!f.timer->isResting()); // the chart view polls on every tick
        FormFixture::click(f.form->Draw);
        f.timer->fire();
        QVERIFY(f.timer->isResting());
    }

    void threeDimensionalSwitch_followsTheBox()
    {
        ChartView f;
        f.ticks(3);
        FormFixture::click(f.form->Check2);
        QVERIFY(f.chart->view3D());
        QCOMPARE(f.chart->pointCount(0), 4);
        FormFixture::click(f.form->Check2);
        QVERIFY(!f.chart->view3D());
    }
};

QTEST_MAIN(SamplingTest)
#include "test_sampling.moc"
