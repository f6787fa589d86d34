// Receive throughput through the real handler and the real window, in each view.
// The window is brought up to date between bursts the way the event loop does while
// the line delivers about one tick's worth of characters.

#include "connected_window.h"
#include "program_application.h"

#include <QElapsedTimer>

#include <cstdio>
#include <memory>

using namespace veltrano;

namespace {

using Window = ConnectedWindow;

// Characters per second when `total` characters arrive in bursts of `burst`.
double throughput(Window& w, const QByteArray& pattern, long total, int burst)
{
    QByteArray chunk;
    while (chunk.size() < burst)
        chunk += pattern;
    chunk.truncate(burst);
    QElapsedTimer clock;
    clock.start();
    long sent = 0;
    while (sent < total) {
        w.serial->receive(chunk);
        sent += chunk.size();
        QCoreApplication::processEvents();
    }
    return sent / (clock.nsecsElapsed() / 1e9);
}

} // namespace

int main(int argc, char* argv[])
{
    harness::ProgramApplication app(argc, argv);
    constexpr long kTotal = 2'000'000;
    constexpr int kBurst = 180; // one tick's worth at 115200 baud

    Window setup;
    // The log cycles from "0" to 1000 characters and back, so every length is visited.
    const double setupRate = throughput(setup, "reply text from the driver\r\n", kTotal, kBurst);
    std::printf("receive setup view (log up to 1000 chars): %.0f chars/s (target >= 115200)\n", setupRate);

    Window chart;
    chart.form->Draw_Click();
    const double chartRate = throughput(chart,
                                        QByteArray("\x28\x5a\x8c\xc8"
                                                   "E",
                                                   5),
                                        kTotal, kBurst);
    std::printf("receive chart view (frames of 4 bytes + E): %.0f chars/s (target >= 115200)\n", chartRate);
    const double decoded = chart.form->data0.value_or(-1);
    std::printf("receive chart view last decoded data0: %.0f (expected 40)\n", decoded);
    return setupRate >= 115200 && chartRate >= 115200 && decoded == 40 ? 0 : 1;
}
