// The chart control's points: the ring buffer that holds them, and the control's rules for
// them on the widget and on the fake alike.
#include "chart/series_buffer.h"
#include "chart/strip_chart_widget.h"
#include "platform/control_error.h"
#include "fakes/fake_chart_control.h"

#include <QImage>
#include <QRandomGenerator>
#include <QtTest>

#include <deque>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace veltrano;

namespace {

constexpr unsigned kDefault = ChartControl::kDefaultColor;

std::unique_ptr<ChartControl> makeChart(const QString& kind)
{
    if (kind == QLatin1String("widget"))
        return std::make_unique<StripChartWidget>();
    return std::make_unique<FakeChartControl>();
}

void compareWithReference(const SeriesBuffer& buffer, const std::deque<ChartPoint>& reference)
{
    QCOMPARE(buffer.size(), int(reference.size()));
    for (int i = 0; i < buffer.size(); ++i) {
        QCOMPARE(buffer[i].x, reference[size_t(i)].x);
        QCOMPARE(buffer[i].y, reference[size_t(i)].y);
    }
}

} // namespace

class TestChartPoints : public QObject {
    Q_OBJECT

private slots:
    void ringBufferMatchesDequeOverManyCycles()
    {
        SeriesBuffer buffer;
        std::deque<ChartPoint> reference;
        QRandomGenerator rng(4242);
        double x = 0;
        int lastCapacity = 0;
        for (int round = 0; round < 20000; ++round) {
            // Phases of growth, steady strip-chart use and shrinking, so that the ring wraps
            // at many different fill levels and grows while wrapped.
            const int phase = (round / 2500) % 3;
            const bool add = phase == 0 ? rng.bounded(10) < 8 : phase == 1 ? rng.bounded(2) == 0 : rng.bounded(10) < 3;
            if (add || reference.empty()) {
                const ChartPoint point{x, double(rng.bounded(256))};
                x += 1;
                buffer.append(point);
                reference.push_back(point);
            } else {
                buffer.removeFirst();
                reference.pop_front();
            }
            if (buffer.capacity() != lastCapacity) {
                QVERIFY(lastCapacity == 0 || buffer.capacity() == 2 * lastCapacity);
                lastCapacity = buffer.capacity();
            }
            QVERIFY(buffer.size() <= buffer.capacity());
            if (round % 97 == 0) {
                compareWithReference(buffer, reference);
                if (QTest::currentTestFailed())
                    return;
            }
        }
        compareWithReference(buffer, reference);
        QVERIFY(buffer.capacity() > 16);
    }

    void ringBufferGrowsWhileWrapped()
    {
        SeriesBuffer buffer;
        for (int i = 0; i < 16; ++i)
            buffer.append({double(i), 0});
        for (int i = 0; i < 10; ++i)
            buffer.removeFirst();
        for (int i = 16; i < 40; ++i) // wraps, then grows with the head mid-array
            buffer.append({double(i), 0});
        QCOMPARE(buffer.size(), 30);
        for (int i = 0; i < buffer.size(); ++i)
            QCOMPARE(buffer[i].x, double(i + 10));
        QCOMPARE(buffer.first().x, 10.0);
        QCOMPARE(buffer.last().x, 39.0);
    }

    void ringBufferRejectsBadAccess()
    {
        SeriesBuffer buffer;
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, buffer.removeFirst());
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, buffer.at(0));
        buffer.append({1, 2});
        QCOMPARE(buffer.at(0).y, 2.0);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, buffer.at(1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, buffer.at(-1));
    }

    void ringBufferKeepsXOrder()
    {
        SeriesBuffer buffer;
        for (double x : {0.0, 1.0, 2.0, 3.0})
            buffer.append({x, x * 10});
        buffer.removeFirst(); // make the insertion cross the ring's physical start later
        QCOMPARE(buffer.insertOrdered({1.5, -1}), 1);
        QCOMPARE(buffer.insertOrdered({2.0, -2}), 3); // after the existing point with X 2
        QCOMPARE(buffer.insertOrdered({9.0, -9}), 5);
        QCOMPARE(buffer.insertOrdered({-5.0, -5}), 0);
        const std::vector<double> xs{-5, 1, 1.5, 2, 2, 3, 9};
        const std::vector<double> ys{-5, 10, -1, 20, -2, 30, -9};
        QCOMPARE(buffer.size(), int(xs.size()));
        for (int i = 0; i < buffer.size(); ++i) {
            QCOMPARE(buffer[i].x, xs[size_t(i)]);
            QCOMPARE(buffer[i].y, ys[size_t(i)]);
        }
    }

    void pointSemantics_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("widget") << QStringLiteral("widget");
        QTest::newRow("fake") << QStringLiteral("fake");
    }

    void pointSemantics()
    {
        QFETCH(QString, kind);
        const auto chart = makeChart(kind);
        QCOMPARE(chart->seriesCount(), 4);
        for (int s = 0; s < 4; ++s)
            QCOMPARE(chart->pointCount(s), 0);

        // addY: X 0 on an empty series, then last X + 1; returns the point's index.
        QCOMPARE(chart->addY(1, 10, QString(), kDefault), 0);
        QCOMPARE(chart->addY(1, 11, QString(), 0x00FF00u), 1);
        QCOMPARE(chart->lastX(1), 1.0);
        QCOMPARE(chart->pointCount(1), 2);
        QCOMPARE(chart->pointCount(0), 0);

        // addXY takes the X given; addY continues from it.
        QCOMPARE(chart->addXY(2, 7.5, 3, QStringLiteral("label"), kDefault), 0);
        QCOMPARE(chart->addY(2, 4, QString(), kDefault), 1);
        QCOMPARE(chart->lastX(2), 8.5);

        // deleteFirst removes the oldest point.
        chart->addY(1, 12, QString(), kDefault);
        chart->deleteFirst(1);
        QCOMPARE(chart->pointCount(1), 2);
        chart->addY(1, 13, QString(), kDefault);
        QCOMPARE(chart->lastX(1), 3.0);
        chart->deleteFirst(1);
        chart->deleteFirst(1);
        chart->deleteFirst(1);
        QCOMPARE(chart->pointCount(1), 0);
        // Emptied series start over at X 0.
        chart->addY(1, 1, QString(), kDefault);
        QCOMPARE(chart->lastX(1), 0.0);
    }

    void pointErrors_data() { pointSemantics_data(); }

    void pointErrors()
    {
        QFETCH(QString, kind);
        const auto chart = makeChart(kind);
        for (int bad : {-1, 4, 1000}) {
            QVERIFY_THROWS_EXCEPTION(ControlError, chart->pointCount(bad));
            QVERIFY_THROWS_EXCEPTION(ControlError, chart->deleteFirst(bad));
            QVERIFY_THROWS_EXCEPTION(ControlError, chart->lastX(bad));
            QVERIFY_THROWS_EXCEPTION(ControlError, chart->addY(bad, 1, QString(), kDefault));
            QVERIFY_THROWS_EXCEPTION(ControlError, chart->addXY(bad, 1, 1, QString(), kDefault));
        }
        QVERIFY_THROWS_EXCEPTION(ControlError, chart->deleteFirst(0));
        QVERIFY_THROWS_EXCEPTION(ControlError, chart->lastX(3));

        // A non-finite value would poison the X order and the axis range.
        chart->addY(0, 5, QString(), kDefault);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QVERIFY_THROWS_EXCEPTION(ControlError, chart->addY(0, nan, QString(), kDefault));
        QVERIFY_THROWS_EXCEPTION(ControlError, chart->addXY(0, inf, 1, QString(), kDefault));
        QVERIFY_THROWS_EXCEPTION(ControlError, chart->addXY(0, 1, -inf, QString(), kDefault));
        QCOMPARE(chart->pointCount(0), 1);
        QCOMPARE(chart->lastX(0), 0.0);
        for (int s = 1; s < 4; ++s)
            QCOMPARE(chart->pointCount(s), 0);
    }

    void stripChartSteadyState_data() { pointSemantics_data(); }

    void stripChartSteadyState()
    {
        QFETCH(QString, kind);
        const auto chart = makeChart(kind);
        for (int s = 0; s < 4; ++s)
            for (int i = 0; i < 501; ++i)
                chart->addY(s, i % 256, QString(), kDefault);
        for (int tick = 0; tick < 3000; ++tick) {
            for (int s = 0; s < 4; ++s) {
                chart->deleteFirst(s);
                chart->addY(s, tick % 256, QString(), kDefault);
            }
        }
        for (int s = 0; s < 4; ++s) {
            QCOMPARE(chart->pointCount(s), 501);
            QCOMPARE(chart->lastX(s), 3500.0);
        }
    }

    void fakeRecordsSettings()
    {
        FakeChartControl fake;
        QVERIFY(fake.isVisible());
        QVERIFY(!fake.view3D());
        QCOMPARE(fake.widget(), nullptr);
        fake.setTopMm(0);
        fake.setLeftMm(42);
        fake.setVisible(false);
        fake.setView3D(true);
        fake.setBottomAxisIncrement(1.0);
        QCOMPARE(fake.topMm(), 0.0);
        QCOMPARE(fake.leftMm(), 42.0);
        QVERIFY(!fake.isVisible());
        QVERIFY(fake.view3D());
        QCOMPARE(fake.bottomAxisIncrement(), 1.0);
    }

    void fakeFailsAtTheChosenAdd()
    {
        FakeChartControl fake;
        fake.failAtAdd(3);
        fake.addY(0, 1, QString(), kDefault);
        fake.addXY(1, 5, 2, QString(), kDefault);
        QVERIFY_THROWS_EXCEPTION(ControlError, fake.addY(2, 3, QString(), kDefault));
        // Earlier series keep their points; the failing one gained none.
        QCOMPARE(fake.pointCount(0), 1);
        QCOMPARE(fake.pointCount(1), 1);
        QCOMPARE(fake.lastX(1), 5.0);
        QCOMPARE(fake.pointCount(2), 0);
        // Later calls succeed again.
        fake.addY(2, 3, QString(), kDefault);
        fake.addY(3, 4, QString(), kDefault);
        QCOMPARE(fake.pointCount(2), 1);
        QCOMPARE(fake.pointCount(3), 1);
        QCOMPARE(fake.addCalls(), 5);
        QCOMPARE(fake.series(1)[0].y, 2.0);
    }
};

QTEST_MAIN(TestChartPoints)
#include "test_chart_points.moc"
