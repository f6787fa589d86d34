#include "serial/bounded_call.h"

#include <QTest>

#include <atomic>

using namespace veltrano;
using namespace std::chrono_literals;

class BoundedCallTest : public QObject {
    Q_OBJECT

private slots:
    // A call that ends in time gives its value; one that does not is given up at the limit,
    // and its value, when it comes, is released exactly once and returned to nobody.
    void aLateResult_isReleasedNotReturned_data()
    {
        QTest::addColumn<int>("takesMs");
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<bool>("inTime");
        QTest::newRow("at once") << 0 << 500 << true;
        QTest::newRow("within the limit") << 50 << 2000 << true;
        QTest::newRow("past the limit") << 600 << 50 << false;
    }
    void aLateResult_isReleasedNotReturned()
    {
        QFETCH(int, takesMs);
        QFETCH(int, limitMs);
        QFETCH(bool, inTime);
        auto released = std::make_shared<std::atomic<int>>(0);
        const std::optional<int> result = callWithin<int>(
            std::chrono::milliseconds(limitMs),
            [takesMs] {
                std::this_thread::sleep_for(std::chrono::milliseconds(takesMs));
                return 42;
            },
            [released](int value) { released->fetch_add(value); });
        QCOMPARE(result.has_value(), inTime);
        if (inTime) {
            QCOMPARE(*result, 42);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(released->load(), 42, 5000);
        }
        QTest::qWait(takesMs + 50);
        QCOMPARE(released->load(), inTime ? 0 : 42);
    }
};

QTEST_MAIN(BoundedCallTest)
#include "test_bounded_call.moc"
