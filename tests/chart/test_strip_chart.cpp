#include "app/art.h"
#include "chart/series_buffer.h"
#include "chart/strip_chart_widget.h"
#include "chart/trace_raster.h"
#include "controls/refresh_clock.h"
#include "platform/units.h"
#include "platform/control_error.h"
#include "fakes/fake_chart_control.h"

#include <QBackingStore>
#include <QImage>
#include <QLabel>
#include <QPainter>
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

// The raster's rule, column by column with nothing kept between columns: each column whose
// centre xc lies in [from, to) gets the rows between the least and greatest of
// y + (xc - x) × slope over the curve's points in [xc - before, xc + after] and its crossings
// of the window's edges, widened by grow, inside clip and the area.
void plainColumns(QImage& image, QPoint origin, const QRect& bounds, std::vector<QPointF> p, double from, double to,
                  double before, double after, double slope, double grow, QRgb colour)
{
    const int n = int(p.size());
    for (int column = std::max(bounds.left(), ceilToInt(from - 0.5)); column <= bounds.right(); ++column) {
        const double xc = column + 0.5, left = xc - before, right = xc + after;
        if (!(xc < to))
            break;
        double low = std::numeric_limits<double>::infinity(), high = -low;
        auto take = [&](double x, double y) {
            low = std::min(low, y + (xc - x) * slope);
            high = std::max(high, y + (xc - x) * slope);
        };
        auto crossing = [&](int i, double x) {
            take(x, p[i - 1].y() + (x - p[i - 1].x()) * (p[i].y() - p[i - 1].y()) / (p[i].x() - p[i - 1].x()));
        };
        int lo = 0;
        while (lo < n && p[lo].x() < left)
            ++lo;
        if (lo > 0 && lo < n)
            crossing(lo, left);
        int i = lo;
        for (; i < n && p[i].x() <= right; ++i)
            take(p[i].x(), p[i].y());
        if (i > 0 && i < n)
            crossing(i, right);
        if (!(low <= high))
            continue;
        const int top = std::max(bounds.top(), ceilToInt(low - grow - 0.5));
        const int bottom = std::min(bounds.bottom(), ceilToInt(high + grow - 0.5) - 1);
        for (int row = top; row <= bottom; ++row) {
            QRgb& pixel = reinterpret_cast<QRgb*>(image.scanLine(origin.y() + row))[origin.x() + column];
            const int a = qAlpha(colour), keep = 255 - a;
            pixel = a == 255 ? colour
                             : qRgb((qRed(colour) * a + qRed(pixel) * keep) / 255,
                                    (qGreen(colour) * a + qGreen(pixel) * keep) / 255,
                                    (qBlue(colour) * a + qBlue(pixel) * keep) / 255);
        }
    }
}

// A line or, with a depth, a ribbon by the rule above, in every area.
void plainShape(QImage& image, QPoint origin, const QRectF& clip, const QList<QRect>& areas,
                const std::vector<QPointF>& points, double width, QPointF depth, QRgb colour)
{
    const double scale = image.devicePixelRatio();
    std::vector<QPointF> p;
    for (const QPointF& point : points)
        p.push_back(point * scale + QPointF(0.5, 0.5));
    const QRect clipPixels(
        QPoint(ceilToInt(clip.left() * scale - 0.5), ceilToInt(clip.top() * scale - 0.5)),
        QPoint(ceilToInt(clip.right() * scale - 0.5) - 1, ceilToInt(clip.bottom() * scale - 0.5) - 1));
    for (const QRect& area : areas) {
        const QRect bounds = area & clipPixels;
        if (depth.x() > 0) {
            const double dx = depth.x() * scale, dy = depth.y() * scale;
            plainColumns(image, origin, bounds, p, p.front().x(), p.back().x() + dx, dx, 0, dy / dx, 0, colour);
        } else {
            const double half = width * scale / 2;
            plainColumns(image, origin, bounds, p, p.front().x() - half, p.back().x() + half, half, half, 0, half,
                         colour);
        }
    }
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
            explicit PaintCounter(int* c) : count(c) { }
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

    void partialRepaintPaintsOnlyItsArea_data() { drawsEachSeriesWhereItsPointsAre_data(); }

    void partialRepaintPaintsOnlyItsArea()
    {
        // On a window the chart paints into the window's backing store: a repaint of parts of
        // it gives there what a picture of the whole chart shows and leaves the rest alone.
        QFETCH(bool, threeD);
        QWidget window;
        window.resize(840, 670);
        auto* chart = new StripChartWidget(&window);
        chart->move(16, 8); // whole pixels at 1.25 and 1.5 too
        chart->setLegendPicture(legendPicture());
        chart->setView3D(threeD);
        for (int x = 0; x < 501; ++x)
            for (int s = 0; s < 4; ++s)
                chart->addXY(s, 1000 + x, (x * (s + 3) * 7) % 256, QString(), kDefault);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage whole = chart->grab().toImage();
        auto store = [&window] { return dynamic_cast<QImage*>(window.backingStore()->paintDevice()); };
        if (!store())
            QSKIP("the platform's backing store is no image");
        store()->fill(QColor(255, 0, 255));
        // Whole pixels at 125 and 150 % too (multiples of 4), where Qt's rounding is not ours.
        const QRegion parts = QRegion(0, 0, 252, 640) + QRegion(200, 100, 500, 80) + QRegion(420, 400, 300, 220);
        chart->repaint(parts);

        QImage expected(store()->size(), store()->format());
        expected.setDevicePixelRatio(store()->devicePixelRatio());
        expected.fill(QColor(255, 0, 255));
        {
            QPainter painter(&expected);
            painter.setClipRegion(parts.translated(chart->pos()));
            painter.drawImage(chart->pos(), whole);
        }
        QCOMPARE(*store(), expected);
    }

    void framesInTheStoreEqualAFullRepaint_data()
    {
        QTest::addColumn<bool>("threeD");
        QTest::addColumn<bool>("overlay");
        QTest::newRow("2D") << false << false;
        QTest::newRow("3D") << true << false;
        QTest::newRow("2D, a see-through label over the plot") << false << true;
        QTest::newRow("3D, a see-through label over the plot") << true << true;
    }

    void framesInTheStoreEqualAFullRepaint()
    {
        // Frame after frame in the window's backing store, each on the last one's pixels,
        // with points that jump and grid lines that move: what stays in the store is what a
        // fresh picture of the window shows, also under a widget that paints over the chart.
        QFETCH(bool, threeD);
        QFETCH(bool, overlay);
        QWidget window;
        window.resize(840, 670);
        auto* chart = new StripChartWidget(&window);
        chart->move(13, 9); // between pixels at 1.25 and 1.5
        chart->setView3D(threeD);
        if (overlay) {
            auto* label = new QLabel(QStringLiteral("CODE : (DATA1)(DATA2)"), &window);
            label->setGeometry(150, 250, 300, 40);
            label->setFont(QFont(QStringLiteral("Arial"), 20));
        }
        double x = 0;
        auto step = [&] { // thin ramps, as the driver's values mostly are
            for (int s = 0; s < 4; ++s) {
                chart->addXY(s, x, (int(x) * (s + 1) + 60 * s) % 256, QString(), kDefault);
                if (chart->pointCount(s) > 51)
                    chart->deleteFirst(s);
            }
            ++x;
        };
        for (int i = 0; i < 51; ++i)
            step();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto store = [&window] { return dynamic_cast<QImage*>(window.backingStore()->paintDevice()); };
        if (!store())
            QSKIP("the platform's backing store is no image");
        for (int frame = 0; frame < 40; ++frame) {
            step();
            RefreshClock::instance().catchUpNow();
            if (frame % 3 == 0) { // parts of the chart painted between frames, after a leap
                x += 20;
                step();
                chart->repaint(300, 100, 120, 300);
            }
        }
        step();
        RefreshClock::instance().catchUpNow();
        // A picture of the window paints everything afresh, not into the store.
        QCOMPARE(store()->convertToFormat(QImage::Format_RGB32),
                 window.grab().toImage().convertToFormat(QImage::Format_RGB32));
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

    // --- The trace raster against its rule worked out plainly ---

    void rasterFollowsItsRule_data()
    {
        QTest::addColumn<QString>("curve");
        QTest::addColumn<double>("width");
        QTest::addColumn<QPointF>("depth"); // a ribbon when depth.x() > 0
        QTest::addColumn<uint>("colour");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<bool>("parts"); // into three parts of a larger image, or all of it
        const QPointF none(0, 0), slot(18.37, -11.41);
        QTest::newRow("noisy line") << "noisy" << 2.0 << none << 0xffff0000u << 1.0 << false;
        QTest::newRow("noisy line, wide, in parts") << "noisy" << 3.0 << none << 0xffffff00u << 1.0 << true;
        QTest::newRow("dense line") << "dense" << 2.0 << none << 0xff8000ffu << 1.0 << false;
        QTest::newRow("sparse thin line") << "sparse" << 1.0 << none << 0xffff0000u << 1.0 << true;
        QTest::newRow("line on half pixels") << "halves" << 2.0 << none << 0xffff0000u << 1.0 << false;
        QTest::newRow("line with equal xs") << "steps" << 2.5 << none << 0xffff0000u << 1.0 << false;
        QTest::newRow("translucent line") << "noisy" << 1.0 << none << 0x3c96aadcu << 1.0 << true;
        QTest::newRow("line at ratio 2") << "noisy" << 2.0 << none << 0xffff0000u << 2.0 << false;
        QTest::newRow("noisy ribbon") << "noisy" << 0.0 << slot << 0xff960000u << 1.0 << true;
        QTest::newRow("dense ribbon") << "dense" << 0.0 << slot << 0xff960000u << 1.0 << false;
        QTest::newRow("ribbon on half pixels, whole depth")
            << "halves" << 0.0 << QPointF(16, -10) << 0xff960000u << 1.0 << false;
        QTest::newRow("ribbon along its depth")
            << "depthwise" << 0.0 << QPointF(16, -10) << 0xff960000u << 1.0 << false;
        QTest::newRow("ribbon at ratio 2") << "noisy" << 0.0 << slot << 0xff960000u << 2.0 << true;
    }

    void rasterFollowsItsRule()
    {
        QFETCH(QString, curve);
        QFETCH(double, width);
        QFETCH(QPointF, depth);
        QFETCH(uint, colour);
        QFETCH(double, ratio);
        QFETCH(bool, parts);
        QRandomGenerator rng(77);
        std::vector<QPointF> points;
        if (curve == QLatin1String("noisy")) {
            for (int i = 0; i < 501; ++i)
                points.emplace_back(40 + i * 1.4837, 60 + rng.bounded(400.0));
        } else if (curve == QLatin1String("dense")) {
            for (int i = 0; i < 3000; ++i)
                points.emplace_back(40 + i * 0.2471, 260 + 150 * std::sin(i * 0.01) + rng.bounded(30.0));
        } else if (curve == QLatin1String("sparse")) {
            for (int i = 0; i < 21; ++i)
                points.emplace_back(40 + i * 37.1, 60 + rng.bounded(400.0));
        } else if (curve == QLatin1String("halves")) {
            for (int i = 0; i < 300; ++i)
                points.emplace_back(40 + i * 2.5, 200 + 0.5 * rng.bounded(200));
        } else if (curve == QLatin1String("steps")) {
            for (int i = 0; i < 300; ++i)
                points.emplace_back(40 + (i / 3) * 7.0, 60 + rng.bounded(400.0));
        } else { // along the ribbon's depth: every key the same
            for (int i = 0; i < 60; ++i)
                points.emplace_back(40 + i * 8.0, 450 - i * 5.0);
        }
        QImage image(QSize(820, 560) * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(QColor(10, 20, 60));
        for (int y = 0; y < image.height(); y += 7) // a background that varies down the columns
            std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)), image.width(), qRgb(y % 256, 40, 90));
        QImage expected = image;
        const QRectF clip(30, 45, 760, 480);
        const QPoint origin = parts ? QPoint(11, 7) : QPoint();
        QList<QRect> areas{QRect(QPoint(), image.size() - QSize(origin.x(), origin.y()))};
        if (parts) // a region with a hole, as a control standing over the chart leaves
            areas = {QRect(0, 0, 800, 200), QRect(0, 200, 300, 150), QRect(520, 200, 280, 150),
                     QRect(0, 350, 800, 190)};

        TraceRaster raster;
        raster.aim(image, origin, clip, std::span<const QRect>(areas.data(), areas.size()));
        for (int pass = 0; pass < 2; ++pass) { // reused buffers must not carry anything over
            if (depth.x() > 0)
                raster.ribbon(points.data(), int(points.size()), depth, colour);
            else
                raster.line(points.data(), int(points.size()), width, colour, false);
            plainShape(expected, origin, clip, areas, points, width, depth, colour);
            QCOMPARE(image, expected);
            for (QPointF& point : points)
                point.ry() += 3.3;
        }
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
