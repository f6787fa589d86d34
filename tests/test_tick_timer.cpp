#include "platform/tick_period.h"

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
};

QTEST_MAIN(TestTickTimer)
#include "test_tick_timer.moc"
