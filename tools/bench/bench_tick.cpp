// Cost of one tick in the chart view with 4 x 51 and 4 x 501 points: plot, poll, and the
// repaint it causes.

#include "connected_window.h"
#include "controls/refresh_clock.h"
#include "program_application.h"

#include <QElapsedTimer>

#include <cstdio>
#include <memory>

using namespace veltrano;

namespace {

double tickMs(bool view3D, int window, int ticks)
{
    ConnectedWindow connected;
    Form1& form = *connected.form;
    FakeSerialControl* serial = connected.serial;
    form.Draw_Click();
    form.HScroll1->setValue(window);
    if (view3D)
        form.Check2->click();
    for (int i = 0; i < window + 10; ++i) {
        serial->receive(QByteArray(1, char(i % 200))
                        + "\x10\x20\x30"
                          "E");
        form.Timer1_Timer();
    }
    QCoreApplication::processEvents();
    serial->outputs.clear();

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < ticks; ++i) {
        serial->receive(QByteArray(1, char(i % 200))
                        + "\x10\x20\x30"
                          "E");
        form.Timer1_Timer();
        // The catch-up the event loop runs after a tick: the text boxes, then the chart's
        // plot and label area in the same pass. The program does it on every second tick.
        RefreshClock::instance().catchUpNow();
    }
    const double ms = clock.nsecsElapsed() / 1e6 / ticks;
    if (serial->outputs.size() != ticks || form.TChart1.pointCount(0) != window + 1)
        std::fprintf(stderr, "tick benchmark: unexpected state\n");
    return ms;
}

} // namespace

int main(int argc, char* argv[])
{
    harness::ProgramApplication app(argc, argv);
    bool ok = true;
    for (int window : {50, 500}) {
        for (bool view3D : {false, true}) {
            const double ms = tickMs(view3D, window, 1000);
            ok = ok && ms <= 0.25;
            std::printf("tick chart view %s (4x%d points, plot+poll+repaint): %.3f ms (target <= 0.25 ms)\n",
                        view3D ? "3D" : "2D", window + 1, ms);
        }
    }
    return ok ? 0 : 1;
}
