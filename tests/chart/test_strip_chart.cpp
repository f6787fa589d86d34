// The strip chart widget: its settings, and the pictures it paints, straight into the
// window's backing store and through its own image.
#include "app/art.h"
#include "chart/strip_chart_widget.h"
#include "controls/refresh_clock.h"
#include "platform/units.h"
#include "platform/control_error.h"

#include <QBackingStore>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using namespace veltrano;

namespace {

constexpr unsigned kDefault = ChartControl::kDefaultColor;

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
