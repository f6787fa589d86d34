// The trace rasteriser against its rule, worked out column by column.
#include "chart/trace_raster.h"
#include "platform/units.h"

#include <QImage>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using namespace veltrano;

namespace {

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

} // namespace

class TestTraceRaster : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_MAIN(TestTraceRaster)
#include "test_trace_raster.moc"
