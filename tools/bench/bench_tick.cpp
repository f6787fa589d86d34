// Cost of one tick in the chart view with 4 x 501 points: plot, poll, and the repaint it causes.
#include "app/form1.h"
#include "platform/fake_serial_control.h"
#include "platform/fake_tick_timer.h"
#include "platform/qt_progress_bar.h"
#include "platform/strip_chart_widget.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <memory>

using namespace veltrano;

namespace {

double tickMs(bool view3D, int window, int ticks)
{
    Form1Parts parts;
    auto fake = std::make_unique<FakeSerialControl>();
    fake->setPort(3, FakeSerialControl::Port::Available);
    FakeSerialControl* serial = fake.get();
    parts.serial = std::move(fake);
    parts.timer = std::make_unique<FakeTickTimer>();
    auto chart = std::make_unique<StripChartWidget>();
    StripChartWidget* chartWidget = chart.get();
    parts.chart = std::move(chart);
    parts.progressBar = std::make_unique<QtProgressBar>();
    Form1 form(std::move(parts));
    form.load();
    form.show();
    form.Combo4->setText("COM3");
    form.Command4_Click();
    form.Draw_Click();
    form.HScroll1->setValue(window);
    if (view3D)
        form.Check2->click();
    for (int i = 0; i < window + 10; ++i) {
        serial->receive(QByteArray(1, char(i % 200)) + "\x10\x20\x30" "E");
        form.Timer1_Timer();
    }
    QCoreApplication::processEvents();
    serial->outputs.clear();

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < ticks; ++i) {
        serial->receive(QByteArray(1, char(i % 200)) + "\x10\x20\x30" "E");
        form.Timer1_Timer();
        chartWidget->repaint(); // what the event loop does once per tick
    }
    const double ms = clock.nsecsElapsed() / 1e6 / ticks;
    if (serial->outputs.size() != ticks || form.TChart1.pointCount(0) != window + 1)
        std::fprintf(stderr, "tick benchmark: unexpected state\n");
    return ms;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle("Fusion");
    bool ok = true;
    for (int window : {50, 500}) {
        for (bool view3D : {false, true}) {
            const double ms = tickMs(view3D, window, 1000);
            ok = ok && ms < 2.0;
            std::printf("tick chart view %s (4x%d points, plot+poll+repaint): %.3f ms (target < 2 ms)\n",
                        view3D ? "3D" : "2D", window + 1, ms);
        }
    }
    return ok ? 0 : 1;
}
