#include "app/art.h"
#include "chart/series_buffer.h"
#include "chart/strip_chart_widget.h"
#include "platform/units.h"
#include "platform/control_error.h"
#include "fakes/fake_chart_control.h"

#include <QImage>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace veltrano;

namespace {

constexpr unsigned kDefault = ChartControl::defaultColor;

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

// Where, on average, the pixels close to a colour sit in the left part of the picture
// (the legend, with text in the series colours, is on the right).
struct ColourSpot {
    int pixels = 0;
    double meanRow = 0.0;
    int columns = 0; // columns holding at least one such pixel
};

ColourSpot findColour(const QImage& image, QColor colour, int tolerance = 30)
{
    ColourSpot spot;
    const int right = image.width() * 55 / 100;
    double rowSum = 0.0;
    for (int x = 0; x < right; ++x) {
        bool inColumn = false;
        for (int y = 0; y < image.height(); ++y) {
            const QRgb p = image.pixel(x, y);
            if (std::abs(qRed(p) - colour.red()) <= tolerance && std::abs(qGreen(p) - colour.green()) <= tolerance
                && std::abs(qBlue(p) - colour.blue()) <= tolerance) {
                ++spot.pixels;
                rowSum += y;
                inColumn = true;
            }
        }
        spot.columns += inColumn;
    }
    if (spot.pixels > 0)
        spot.meanRow = rowSum / spot.pixels;
    return spot;
}

// Median, over the columns that have any, of the number of strongly red pixels per column.
int medianRedThickness(const QImage& image)
{
    std::vector<int> counts;
    for (int x = 0; x < image.width() * 55 / 100; ++x) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            const QRgb p = image.pixel(x, y);
            count += qRed(p) > 90 && qGreen(p) < 50 && qBlue(p) < 50;
        }
        if (count > 0)
            counts.push_back(count);
    }
    if (counts.empty())
        return 0;
    std::nth_element(counts.begin(), counts.begin() + counts.size() / 2, counts.end());
    return counts[counts.size() / 2];
}

QImage renderChart(StripChartWidget& chart)
{
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    chart.render(&image);
    return image;
}

} // namespace

class TestStripChart : public QObject {
    Q_OBJECT

private slots:
    // --- Ring buffer ---

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

    // --- Point semantics, the same for the real chart and the fake ---

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

    // --- The fake ---

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

    // --- The real chart as a widget ---

    void widgetConfiguration()
    {
        StripChartWidget chart;
        QCOMPARE(chart.widget(), &chart);
        QCOMPARE(chart.size(), QSize(801, 641));
        QVERIFY(!chart.isEnabled());
        QCOMPARE(chart.focusPolicy(), Qt::NoFocus);
        const QStringList titles{"Data_0", "Data_1", "Data_2", "Data_3"};
        const QList<QColor> colours{QColor(255, 0, 0), QColor(128, 0, 255), QColor(255, 255, 0), QColor(255, 128, 255)};
        for (int s = 0; s < 4; ++s) {
            QCOMPARE(chart.seriesTitle(s), titles[s]);
            QCOMPARE(chart.seriesColor(s), colours[s]);
        }
        QVERIFY_THROWS_EXCEPTION(ControlError, chart.seriesTitle(4));
        chart.setBottomAxisIncrement(1.0);
        QCOMPARE(chart.bottomAxisIncrement(), 1.0);
    }

    void placementInMillimetres()
    {
        QWidget window;
        StripChartWidget chart;
        chart.setParent(&window);
        chart.setTopMm(0);
        chart.setLeftMm(42);
        // 42 mm = 2381.1 twips = 158.7 px.
        QCOMPARE(chart.pos(), QPoint(159, 0));
        QCOMPARE(chart.pos(), QPoint(mmToPixels(42), mmToPixels(0)));
        chart.setTopMm(10.5);
        QCOMPARE(chart.pos(), QPoint(159, 40));
    }

    void visibilitySetting()
    {
        auto* chart = new StripChartWidget;
        QVERIFY(chart->isVisible());
        // Without a parent the setting is kept but no window of its own opens.
        chart->setVisible(true);
        QVERIFY(!chart->QWidget::isVisible());
        chart->setVisible(false);
        QVERIFY(!chart->isVisible());

        QWidget window;
        window.resize(1200, 700);
        chart->setParent(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!chart->QWidget::isVisible()); // hidden before it was placed: stays hidden
        chart->setVisible(true);
        QVERIFY(chart->isVisible());
        QVERIFY(chart->QWidget::isVisible());
        chart->setVisible(false);
        QVERIFY(!chart->QWidget::isVisible());
    }

    void view3DSwitch()
    {
        StripChartWidget chart;
        QVERIFY(!chart.view3D());
        chart.setView3D(true);
        QVERIFY(chart.view3D());
        chart.setView3D(true);
        QVERIFY(chart.view3D());
        chart.setView3D(false);
        QVERIFY(!chart.view3D());
    }

    void dataCallsOnlyScheduleOnePaint()
    {
        QWidget window;
        window.resize(900, 700);
        auto* chart = new StripChartWidget(&window);
        int paints = 0;
        struct PaintCounter : QObject {
            int* count;
            explicit PaintCounter(int* c) : count(c) {}
            bool eventFilter(QObject*, QEvent* event) override
            {
                if (event->type() == QEvent::Paint)
                    ++*count;
                return false;
            }
        } counter(&paints);
        chart->installEventFilter(&counter);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(paints > 0);
        QTest::qWait(50);

        const int before = paints;
        for (int i = 0; i < 200; ++i) {
            chart->addY(i % 4, i, QString(), kDefault);
            if (i >= 100)
                chart->deleteFirst(i % 4);
        }
        QCOMPARE(paints, before); // nothing painted inside the data calls
        QTRY_VERIFY(paints > before);
        QTest::qWait(50);
        QCOMPARE(paints, before + 1);
    }

    void drawsEachSeriesWhereItsPointsAre_data()
    {
        QTest::addColumn<bool>("threeD");
        QTest::newRow("2D") << false;
        QTest::newRow("3D") << true;
    }

    void drawsEachSeriesWhereItsPointsAre()
    {
        QFETCH(bool, threeD);
        StripChartWidget chart;
        for (int s = 0; s < 4; ++s)
            for (int x = 0; x <= 100; ++x)
                chart.addXY(s, x, 50.0 * (s + 1), QString(), kDefault);
        chart.setView3D(threeD);
        const QImage image = renderChart(chart);

        QList<ColourSpot> spots;
        for (int s = 0; s < 4; ++s) {
            const ColourSpot spot = findColour(image, chart.seriesColor(s));
            // Each line crosses the whole left part of the plot.
            QVERIFY2(spot.columns > image.width() * 40 / 100,
                     qPrintable(QStringLiteral("series %1: %2 columns").arg(s).arg(spot.columns)));
            spots.append(spot);
        }
        // Higher values higher up, evenly spaced: the left axis is linear.
        for (int s = 1; s < 4; ++s)
            QVERIFY(spots[s].meanRow < spots[s - 1].meanRow - 20);
        const double gap = (spots[0].meanRow - spots[3].meanRow) / 3;
        for (int s = 1; s < 4; ++s) {
            const double step = spots[s - 1].meanRow - spots[s].meanRow;
            QVERIFY2(std::abs(step - gap) < gap * 0.2, qPrintable(QStringLiteral("step %1 vs %2").arg(step).arg(gap)));
        }
        // The fixed axis runs from -2.2335 to 329.004 over most of the chart's height.
        const double pixelsPerUnit = gap / 50.0;
        const double axisPixels = pixelsPerUnit * (StripChartWidget::kLeftAxisMax - StripChartWidget::kLeftAxisMin);
        QVERIFY2(axisPixels > image.height() * 0.6 && axisPixels < image.height() * 0.95,
                 qPrintable(QString::number(axisPixels)));

        // 2D lines are a few pixels thick; 3D ribbons run back from them in depth.
        const int thickness = medianRedThickness(image);
        if (threeD)
            QVERIFY2(thickness >= 6, qPrintable(QString::number(thickness)));
        else
            QVERIFY2(thickness >= 1 && thickness <= 4, qPrintable(QString::number(thickness)));
    }

    void viewsDifferAndAreNotBlank()
    {
        StripChartWidget chart;
        for (int x = 0; x <= 100; ++x)
            chart.addY(0, 128 + 100 * std::sin(x / 10.0), QString(), kDefault);
        const QImage flat = renderChart(chart);
        chart.setView3D(true);
        const QImage deep = renderChart(chart);
        chart.setView3D(false);
        QCOMPARE(renderChart(chart), flat); // switching back restores the 2D picture
        QVERIFY(flat != deep);
        for (const QImage& image : {flat, deep}) {
            QSet<QRgb> colours;
            for (int y = 0; y < image.height(); y += 3)
                for (int x = 0; x < image.width(); x += 3)
                    colours.insert(image.pixel(x, y));
            QVERIFY(colours.size() > 50);
        }
    }

    void bottomAxisFollowsTheData()
    {
        // The same shape at other X values draws the same traces: the axis spans the data.
        StripChartWidget a, b;
        for (int x = 0; x <= 100; ++x) {
            a.addXY(0, x, 100 + (x % 10) * 10, QString(), kDefault);
            b.addXY(0, x + 5000, 100 + (x % 10) * 10, QString(), kDefault);
        }
        const QImage imageA = renderChart(a), imageB = renderChart(b);
        const ColourSpot spotA = findColour(imageA, a.seriesColor(0));
        const ColourSpot spotB = findColour(imageB, b.seriesColor(0));
        QVERIFY(spotA.pixels > 0);
        QCOMPARE(spotB.pixels, spotA.pixels);
        QCOMPARE(spotB.meanRow, spotA.meanRow);
    }

    void bottomLabelsStayAboveTheCoveredStrip_data() { drawsEachSeriesWhereItsPointsAre_data(); }

    void bottomLabelsStayAboveTheCoveredStrip()
    {
        // As on the window: the option strip covers the chart from 9000 twips down.
        QFETCH(bool, threeD);
        StripChartWidget chart;
        chart.setCoveredBottom(twipsToPixels(9615) - twipsToPixels(9000));
        chart.setView3D(threeD);
        chart.addXY(0, 0, 100, QString(), kDefault);
        chart.addXY(0, 100, 100, QString(), kDefault);
        // The lowest white pixel (bottom axis, ticks, label text) lies just above the strip.
        const QImage image = renderChart(chart);
        int lowest = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qMin(qMin(qRed(image.pixel(x, y)), qGreen(image.pixel(x, y))), qBlue(image.pixel(x, y))) > 200)
                    lowest = y;
        const int stripTop = twipsToPixels(9000);
        QVERIFY2(lowest < stripTop && lowest > stripTop - 30, qPrintable(QString::number(lowest)));
    }

    void oddDataPaintsSafely_data() { drawsEachSeriesWhereItsPointsAre_data(); }

    void oddDataPaintsSafely()
    {
        QFETCH(bool, threeD);
        StripChartWidget chart;
        chart.setView3D(threeD);
        renderChart(chart); // no points at all
        chart.addY(0, 100, QString(), kDefault);
        renderChart(chart); // one point: a span of 1 around it
        chart.addXY(1, 0, 1e300, QString(), kDefault);
        chart.addXY(1, 0, -1e300, QString(), kDefault);
        chart.addXY(1, 1, 1e12, QString(), kDefault);
        chart.addXY(2, 1e15, 5, QString(), kDefault);
        chart.addXY(2, 1e15 + 1, 5, QString(), kDefault);
        const QImage image = renderChart(chart);
        QVERIFY(!image.isNull());
        chart.resize(40, 30); // smaller than the margins
        renderChart(chart);
    }

    // --- Pictures ---

    void picturesHaveTheirSizesAndRepeat()
    {
        const QImage background = backgroundPicture().toImage();
        const QImage legend = legendPicture().toImage();
        QCOMPARE(background.size(), QSize(960, 634));
        QCOMPARE(legend.size(), QSize(960, 640));
        QCOMPARE(backgroundPicture().toImage(), background);
        QCOMPARE(legendPicture().toImage(), legend);

        // Dark at the edges, brighter blue towards the middle.
        const QRgb corner = background.pixel(2, 2), edge = background.pixel(480, 1);
        QVERIFY(qBlue(corner) < 90 && qRed(corner) < 40);
        QVERIFY(qBlue(edge) < 140);
        QVERIFY(qBlue(background.pixel(130, 317)) > qBlue(corner));

        const QIcon icon = applicationIcon();
        const QList<QSize> sizes = icon.availableSizes();
        for (int side : {16, 24, 32, 48, 64, 128, 256})
            QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
        const QImage large = icon.pixmap(256, 256).toImage();
        QCOMPARE(large.size(), QSize(256, 256));
        QCOMPARE(qAlpha(large.pixel(0, 0)), 0); // rounded corner
        QCOMPARE(qAlpha(large.pixel(128, 128)), 255);
    }
};

QTEST_MAIN(TestStripChart)
#include "test_strip_chart.moc"
