// Mean time of one full paint of the strip chart with four full series (501 points each,
// the chart's steady state), in 2D and 3D, at the chart's size on the window, rendered into
// an image; and of one frame as the window paints it, into its backing store.
//
// --dump DIR writes renders of the chart as PNG files instead, for comparing pictures
// across changes: see tools/bench/README.md.
#include "app/art.h"
#include "app/process_memory.h"
#include "chart/strip_chart_widget.h"
#include "controls/refresh_clock.h"

#include <QApplication>
#include <QBackingStore>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegion>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

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

// The chart as the window shows it: under the legend picture, with an opaque strip over its
// lower edge. The window is exposed when this returns.
struct ChartWindow {
    static constexpr int kCovered = 41; // what the window's option strip covers
    QWidget window;
    QWidget* strip;

    ChartWindow()
    {
        window.resize(801 + 24, 641 + 16);
        strip = new QWidget(&window);
        strip->setAutoFillBackground(true);
        QPalette palette = strip->palette();
        palette.setColor(QPalette::Window, QColor(90, 140, 60));
        strip->setPalette(palette);
        strip->setGeometry(12 + 180, 8 + 641 - kCovered, 430, kCovered);
        window.show();
        QElapsedTimer wait;
        wait.start();
        while (!(window.windowHandle() && window.windowHandle()->isExposed()) && wait.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    // A chart placed on the window, below the strip.
    std::unique_ptr<veltrano::StripChartWidget> chart(const QPixmap& legend, bool view3D)
    {
        std::unique_ptr<veltrano::StripChartWidget> chart(new veltrano::StripChartWidget(&window));
        chart->setLegendPicture(legend);
        chart->setCoveredBottom(kCovered);
        chart->setView3D(view3D);
        chart->setGeometry(12, 8, 801, 641);
        return chart;
    }
};

// Records the region of the chart's paint events.
struct PaintRegion : QObject {
    QRegion last;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            last = static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

// Byte-valued signals of the kind the driver returns: smooth, noisy and stepped.
class DriverSignals {
public:
    // Adds the next point to each series and drops the oldest beyond kPoints.
    void step(veltrano::StripChartWidget& chart)
    {
        noise_ = noise_ * 1103515245u + 12345u;
        const double jitter = double((noise_ >> 16) % 41) - 20.0;
        const int i = index_++;
        const double values[4] = {128 + 100 * std::sin(i * 0.05),
                                  std::clamp(60 + jitter + 30 * std::sin(i * 0.21), 0.0, 255.0),
                                  (i / 40) % 2 ? 220.0 : 170.0, std::fmod(i * 3.0, 256.0)};
        for (int s = 0; s < 4; ++s) {
            chart.addY(s, values[s], QString(), veltrano::ChartControl::kDefaultColor);
            if (chart.pointCount(s) > kPoints)
                chart.deleteFirst(s);
        }
    }

private:
    unsigned noise_ = 12345;
    int index_ = 0;
};

// Mean cost of one frame on the window as the program paints it: the four series move on
// by a point and the refresh clock catches up, so that the chart repaints the area it
// repaints for new points, through the window's backing store.
double meanFrameMs(const QPixmap& legend, bool view3D, QRegion& area)
{
    ChartWindow shown;
    const auto chart = shown.chart(legend, view3D);
    DriverSignals feed;
    for (int i = 0; i < kPoints; ++i)
        feed.step(*chart);
    chart->show();
    shown.strip->raise();
    QCoreApplication::processEvents();
    // The chart's own repaint after a data call tells the area.
    PaintRegion recorder;
    chart->installEventFilter(&recorder);
    QElapsedTimer wait;
    wait.start();
    feed.step(*chart);
    while (wait.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    chart->removeEventFilter(&recorder);
    area = recorder.last;
    if (area.isEmpty())
        area = chart->rect();

    veltrano::RefreshClock& clock = veltrano::RefreshClock::instance();
    for (int i = 0; i < 20; ++i) {
        feed.step(*chart);
        clock.catchUpNow();
    }
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kPaints; ++i) {
        feed.step(*chart);
        clock.catchUpNow();
    }
    return timer.nsecsElapsed() / 1e6 / kPaints;
}

// --- Picture dump ---

// Plots a strip of the given length per series the way the window does (addY, dropping the
// oldest point), scrolled far enough that the bottom axis shows four-digit values.
using Sample = std::function<double(int series, int index)>;

void fillStrip(veltrano::StripChartWidget& chart, int window, const Sample& sample)
{
    const unsigned c = veltrano::ChartControl::kDefaultColor;
    for (int i = 0; i < 1200 + window; ++i) {
        for (int s = 0; s < 4; ++s) {
            chart.addY(s, sample(s, i), QString(), c);
            if (chart.pointCount(s) > window)
                chart.deleteFirst(s);
        }
    }
}

struct DataSet {
    const char* name;
    bool windowed; // drawn once per window length
    std::function<void(veltrano::StripChartWidget&, int window)> fill;
};

std::vector<DataSet> dataSets()
{
    const unsigned c = veltrano::ChartControl::kDefaultColor;
    return {
        {"ramps", true,
         [](veltrano::StripChartWidget& chart, int window) {
             fillStrip(chart, window, [](int s, int i) { return double((i * (s + 1) * 3 + s * 60) % 256); });
         }},
        {"random", true,
         [](veltrano::StripChartWidget& chart, int window) {
             QRandomGenerator rng(20240611);
             fillStrip(chart, window, [&rng](int, int) { return double(rng.bounded(256)); });
         }},
        {"far", true,
         [](veltrano::StripChartWidget& chart, int window) {
             // Values far above and below the fixed left axis, with steep runs between.
             fillStrip(chart, window, [](int s, int i) {
                 const int phase = (i + 13 * s) % 23;
                 return phase < 3 ? 1e6 * (s + 1) : phase < 6 ? -4e4 : phase < 9 ? 1e300 : 120.0 + 9 * phase - 40 * s;
             });
         }},
        {"fractional-x", true,
         [c](veltrano::StripChartWidget& chart, int window) {
             // Points placed by X, with a range that starts below zero and is not whole.
             for (int s = 0; s < 4; ++s)
                 for (int i = 0; i < window; ++i)
                     chart.addXY(s, -7.3 + i * 0.37 + s * 0.11, 128 + 90 * std::sin(i * 0.11 + s), QString(), c);
         }},
        {"single", false, [c](veltrano::StripChartWidget& chart, int) { chart.addY(0, 100, QString(), c); }},
        {"empty", false, [](veltrano::StripChartWidget&, int) {}},
    };
}

QImage* backingStoreImage(QWidget& window)
{
    QPaintDevice* device = window.backingStore()->paintDevice();
    return device->devType() == QInternal::Image ? static_cast<QImage*>(device) : nullptr;
}

// For every data set, window length and view, the chart
// - grab: on its own (grab() paints into a pixmap);
// - window: on a window under an opaque strip, as the window's option strip lies over it,
//   read from the window's backing store after a full repaint;
// - partial: the same after the backing store was filled with magenta and only parts of
//   the chart were repainted: only they may change;
// - moved: grab() again after the data moved on;
// - frames: the window's backing store after a full repaint and then 60 frames as the
//   program paints them, a point more per series each.
// Named after the device pixel ratio, which QT_SCALE_FACTOR sets.
int dump(const QString& dir)
{
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dir));
        return 2;
    }
    const QPixmap legend = veltrano::legendPicture();
    ChartWindow shown;
    QWidget& window = shown.window;

    // Parts of the chart a partial repaint covers: the plot's left side and a block over the
    // labels and the legend's lower edge.
    const QRegion partial = QRegion(0, 0, 300, 641) + QRegion(250, 120, 520, 60) + QRegion(400, 420, 380, 200);

    int ratio = 0, files = 0;
    for (const DataSet& set : dataSets()) {
        for (int points : set.windowed ? std::vector<int>{51, 501} : std::vector<int>{0}) {
            for (bool view3D : {false, true}) {
                const auto chart = shown.chart(legend, view3D);
                set.fill(*chart, points);
                chart->show();
                shown.strip->raise();
                QCoreApplication::processEvents();
                ratio = qRound(chart->devicePixelRatioF());

                const QString stem = QStringLiteral("%1/%2-%3%4-")
                                         .arg(dir, view3D ? "3d" : "2d", set.name,
                                              points ? QStringLiteral("-w%1").arg(points) : QString());
                const QString suffix = QStringLiteral("-r%1.png").arg(ratio);
                std::vector<std::pair<QString, QImage>> shots;
                shots.emplace_back(QStringLiteral("grab"), chart->grab().toImage());
                chart->repaint();
                // The backing store may hand out another image after each paint.
                QImage* store = backingStoreImage(window);
                if (!store) {
                    std::fprintf(stderr, "the window's backing store is no image\n");
                    return 2;
                }
                shots.emplace_back(QStringLiteral("window"), store->copy());
                store->fill(QColor(255, 0, 255));
                chart->repaint(partial);
                shots.emplace_back(QStringLiteral("partial"), backingStoreImage(window)->copy());
                set.fill(*chart, points ? points : 1); // moves on by more points
                chart->addY(2, 77, QString(), veltrano::ChartControl::kDefaultColor);
                shots.emplace_back(QStringLiteral("moved"), chart->grab().toImage());
                chart->repaint();
                for (int i = 0; i < 60; ++i) {
                    for (int s = 0; s < 4; ++s) {
                        chart->addY(s, (i * 7 + s * 50) % 256, QString(), veltrano::ChartControl::kDefaultColor);
                        if (points && chart->pointCount(s) > points)
                            chart->deleteFirst(s);
                    }
                    veltrano::RefreshClock::instance().catchUpNow();
                }
                shots.emplace_back(QStringLiteral("frames"), backingStoreImage(window)->copy());
                for (const auto& [kind, image] : shots) {
                    if (image.isNull() || !image.save(stem + kind + suffix)) {
                        std::fprintf(stderr, "cannot write %s\n", qPrintable(stem + kind + suffix));
                        return 2;
                    }
                    ++files;
                }
            }
        }
    }
    std::printf("wrote %d pictures at device pixel ratio %d to %s\n", files, ratio, qPrintable(dir));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    veltrano::keepLargeBuffersMapped(); // as the program does
    QApplication app(argc, argv);

    const QStringList args = QCoreApplication::arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--dump")); at >= 0) {
        if (at + 1 >= args.size()) {
            std::fprintf(stderr, "usage: %s [--dump DIR]\n", argv[0]);
            return 2;
        }
        const int result = dump(args[at + 1]);
        if (result != 0 || !qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR"))
            return result;
        // Once more at device pixel ratio 2, in a process of its own: the scale is global.
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), args.mid(1));
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit)
            return 2;
        return child.exitCode();
    }

    QElapsedTimer artTimer;
    artTimer.start();
    const QPixmap background = veltrano::backgroundPicture();
    const QPixmap legend = veltrano::legendPicture();
    const QIcon icon = veltrano::applicationIcon();
    const double artMs = artTimer.nsecsElapsed() / 1e6;

    veltrano::StripChartWidget chart;
    chart.resize(801, 641);
    DriverSignals feed;
    for (int i = 0; i < kPoints; ++i)
        feed.step(chart);

    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);

    const double ms2D = meanPaintMs(chart, image);
    chart.setView3D(true);
    const double ms3D = meanPaintMs(chart, image);

    QRegion area2D, area3D;
    const double frame2D = meanFrameMs(legend, false, area2D);
    const double frame3D = meanFrameMs(legend, true, area3D);

    std::printf("chart paint 2D (4x%d points): %.2f ms (target < 2 ms)\n", kPoints, ms2D);
    std::printf("chart paint 3D (4x%d points): %.2f ms (target < 2 ms)\n", kPoints, ms3D);
    std::printf("chart frame on the window 2D (4x%d points, %d x %d px): %.3f ms (target < 1 ms)\n", kPoints,
                area2D.boundingRect().width(), area2D.boundingRect().height(), frame2D);
    std::printf("chart frame on the window 3D (4x%d points, %d x %d px): %.3f ms (target < 1 ms)\n", kPoints,
                area3D.boundingRect().width(), area3D.boundingRect().height(), frame3D);
    std::printf("art pictures and icon: %.1f ms (target < 50 ms)\n", artMs);
    return 0;
}
