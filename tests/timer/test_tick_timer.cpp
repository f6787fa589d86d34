#include "timer/qt_tick_timer.h"
#include "timer/tick_period.h"

#include <QtTest>

using namespace veltrano;
using std::chrono::microseconds;

class TestTickTimer : public QObject {
    Q_OBJECT

private slots:
    void nextTickDue_data()
    {
        QTest::addColumn<int>("lateUs");
        QTest::addColumn<int>("nextAfterUs"); // from the late tick's delivery to the next tick
        QTest::newRow("on time") << 0 << 15625;
        QTest::newRow("2 ms late") << 2000 << 13625; // made up, so the rate does not drift
        QTest::newRow("10 ms late") << 10000 << 15625;
        QTest::newRow("25 ms stall") << 25000 << 15625;
        QTest::newRow("200 ms stall") << 200000 << 15625;
    }

    void nextTickDue()
    {
        QFETCH(int, lateUs);
        QFETCH(int, nextAfterUs);
        const microseconds due{1'000'000}, now = due + microseconds(lateUs);
        QCOMPARE((veltrano::nextTickDue(due, now) - now).count(), nextAfterUs);
    }

    // Resting and pausing both hold the ticks back; the timer ticks only when it is
    // enabled and not resting, whichever of the two changes last.
    void restingHoldsTicksBack_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("resting");
        QTest::newRow("running") << true << false;
        QTest::newRow("resting") << true << true;
        QTest::newRow("disabled") << false << false;
        QTest::newRow("disabled and resting") << false << true;
    }

    void restingHoldsTicksBack()
    {
        QFETCH(bool, enabled);
        QFETCH(bool, resting);
        QtTickTimer timer;
        int ticks = 0;
        connect(&timer, &TickTimer::tick, this, [&] { ++ticks; });
        timer.setEnabled(true);
        QTRY_VERIFY(ticks > 0);
        timer.setResting(resting);
        timer.setEnabled(enabled);
        ticks = 0;
        QTest::qWait(100); // six periods
        QCOMPARE(ticks > 0, enabled && !resting);
        timer.setResting(false);
        timer.setEnabled(true);
        QTRY_VERIFY(ticks > 0);
    }
};

QTEST_MAIN(TestTickTimer)
#include "test_tick_timer.moc"
