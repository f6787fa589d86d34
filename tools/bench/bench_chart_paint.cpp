// Mean time of one full paint of the strip chart with four full series (501 points each,
// the chart's steady state), in 2D and 3D, at the chart's size on the window.
#include "app/art.h"
#include "app/process_memory.h"
#include "chart/strip_chart_widget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kPoints = 501;
constexpr int kPaints = 500;

double meanPaintMs(veltrano::StripChartWidget& chart, QImage& image)
{
    for (int i = 0; i < 20; ++i) // warm caches and glyphs
        chart.render(&image);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kPaints; ++i)
        chart.render(&image);
    return timer.nsecsElapsed() / 1e6 / kPaints;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    veltrano::keepLargeBuffersMapped(); // as the program does
    QApplication app(argc, argv);

    QElapsedTimer artTimer;
    artTimer.start();
    const QPixmap background = veltrano::backgroundPicture();
    const QPixmap legend = veltrano::legendPicture();
    const QIcon icon = veltrano::applicationIcon();
    const double artMs = artTimer.nsecsElapsed() / 1e6;

    veltrano::StripChartWidget chart;
    chart.resize(801, 641);
    // Byte-valued signals of the kind the driver returns: smooth, noisy and stepped.
    unsigned noise = 12345;
    for (int i = 0; i < kPoints; ++i) {
        noise = noise * 1103515245u + 12345u;
        const double jitter = double((noise >> 16) % 41) - 20.0;
        const unsigned c = veltrano::ChartControl::defaultColor;
        chart.addY(0, 128 + 100 * std::sin(i * 0.05), QString(), c);
        chart.addY(1, std::clamp(60 + jitter + 30 * std::sin(i * 0.21), 0.0, 255.0), QString(), c);
        chart.addY(2, (i / 40) % 2 ? 220 : 170, QString(), c);
        chart.addY(3, std::fmod(i * 3.0, 256.0), QString(), c);
    }

    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);

    const double ms2D = meanPaintMs(chart, image);
    chart.setView3D(true);
    const double ms3D = meanPaintMs(chart, image);

    std::printf("chart paint 2D (4x%d points): %.2f ms (target < 2 ms)\n", kPoints, ms2D);
    std::printf("chart paint 3D (4x%d points): %.2f ms (target < 2 ms)\n", kPoints, ms3D);
    std::printf("art pictures and icon: %.1f ms (target < 50 ms)\n", artMs);
    return 0;
}
