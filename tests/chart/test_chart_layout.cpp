// The chart's layout as a plain value: where the plot, the traces' clip and the label row
// lie for a size, view and covered strip, and where values land.
#include "chart/chart_layout.h"

#include <QTest>

#include <cmath>

using namespace veltrano;

class TestChartLayout : public QObject {
    Q_OBJECT
private slots:
    void partsLieWhereTheFrameNeedsThem_data()
    {
        QTest::addColumn<bool>("view3D");
        QTest::addColumn<int>("covered");
        for (bool view3D : {false, true}) {
            for (int covered : {0, 41, 200})
                QTest::addRow("%s, %d covered", view3D ? "3D" : "2D", covered) << view3D << covered;
        }
    }

    void partsLieWhereTheFrameNeedsThem()
    {
        QFETCH(bool, view3D);
        QFETCH(int, covered);
        const QSize size(801, 641);
        const ChartLayout layout = ChartLayout::compute(size, view3D, covered, ChartFonts::standard());
        const QRect chart(QPoint(), size);
        const QRectF& plot = layout.frame.plot;

        QVERIFY(chart.contains(layout.clip.toAlignedRect()));
        QVERIFY(layout.dynamicRect.contains(layout.clip.toAlignedRect()));
        QVERIFY(layout.dynamicRect.contains(layout.labelRow));
        // The labels hang below the plot's front edge and above what the window covers.
        const double frontBottom = layout.frame.project(plot.left(), plot.bottom(), 0).y();
        QVERIFY(layout.labelRow.top() < frontBottom);
        QVERIFY(layout.labelRow.bottom() >= frontBottom + layout.labelHeight);
        QVERIFY(layout.labelRow.bottom() < size.height() - covered);

        // The axis' ends are the front face's edges; far values stay near the plot.
        QCOMPARE(layout.mapY(ChartLayout::kLeftAxisMin), plot.bottom());
        QVERIFY(std::abs(layout.mapY(ChartLayout::kLeftAxisMax) - plot.top()) < 1e-9);
        QCOMPARE(layout.mapY(1e300), plot.top() - 4 * plot.height());
        for (int s = 0; s < ChartLayout::kSeries; ++s) {
            for (int value = 0; value < 255; ++value)
                QVERIFY(layout.byteRows[s][value + 1] < layout.byteRows[s][value]);
            QCOMPARE(layout.rowOf(s, 100), layout.byteRows[s][100]);
            const double between = layout.rowOf(s, 100.5);
            QVERIFY(between < layout.byteRows[s][100] && between > layout.byteRows[s][101]);
        }
    }
};

QTEST_MAIN(TestChartLayout)
#include "test_chart_layout.moc"
