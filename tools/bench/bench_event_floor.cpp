// What the chart view's traffic costs without the window: the real serial control on the
// simulated driver's line at 115200 baud and the real 64 Hz timer, a poll written on every
// tick and each reply taken as it comes, with nothing decoded, plotted or shown; then the
// same with one single-line text box that shows the reply's last character, as the window's
// progress line does. The end-to-end run's CPU share cannot go below these on the same
// machine: they are what the wake-ups, the system calls and one box cost here.
//
//   bench_event_floor [--seconds N]     (each of the two runs; default 20)
#include "driver_sim_child.h"
#include "controls/text_box.h"
#include "serial/line_serial_control.h"
#include "timer/qt_tick_timer.h"
#include "process_status.h"
#include "program_application.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

#ifndef VELTRANO_DRIVER_SIM_EXE
#error "VELTRANO_DRIVER_SIM_EXE must name the veltrano-driver-sim executable"
#endif

using namespace veltrano;

namespace {

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Figures {
    double cpuPct = 0, ticksPerSecond = 0, repliesPerSecond = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    int seconds = 20;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N]\n", argv[0]);
            return 2;
        }
    }
    if (seconds < 1) {
        std::fprintf(stderr, "bench_event_floor: --seconds must be at least 1\n");
        return 2;
    }

    harness::ProgramApplication app(argc, argv);
    QTemporaryDir dir;
    simchild::DriverSimChild sim(QStringLiteral(VELTRANO_DRIVER_SIM_EXE), dir.filePath(QStringLiteral("tty")),
                                 QStringLiteral("COM3"));
    if (!dir.isValid() || !sim.ok()) {
        std::fprintf(stderr, "bench_event_floor: %s\n", qPrintable(sim.error()));
        return 2;
    }
    LineSerialControl serial(std::make_shared<PortTable>(parsePortTable(sim.portsEntry())));
    serial.setCommPort(3);
    serial.setSettings(QStringLiteral("115200,N,8,1"));
    serial.setRThreshold(1);
    serial.setPortOpen(true);
    QtTickTimer timer;

    QWidget window;
    window.resize(200, 60);
    TextBox box(QStringLiteral("Text7"), TextBox::Lines::Single, &window);
    box.widget()->setGeometry(8, 8, 144, 22);
    window.show();

    bool showReplies = false;
    long ticks = 0, replies = 0;
    QObject::connect(&timer, &TickTimer::tick, [&] {
        ++ticks;
        serial.output(QByteArrayLiteral("Q"));
    });
    QObject::connect(&serial, &SerialControl::onComm, [&] {
        const QByteArray bytes = serial.input();
        if (bytes.endsWith('E'))
            ++replies;
        if (showReplies && bytes.size() >= 2)
            box.setText(QString(QChar(uchar(bytes[bytes.size() - 2]))));
    });

    auto measure = [&] {
        timer.setEnabled(true);
        runFor(1000); // settle
        const long ticksBefore = ticks, repliesBefore = replies;
        const double cpuBefore = harness::cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        runFor(seconds * 1000);
        const double elapsed = wall.nsecsElapsed() / 1e9;
        Figures figures{100.0 * (harness::cpuSeconds() - cpuBefore) / elapsed, (ticks - ticksBefore) / elapsed,
                        (replies - repliesBefore) / elapsed};
        timer.setEnabled(false);
        runFor(200);
        return figures;
    };
    const Figures polls = measure();
    showReplies = true;
    const Figures withBox = measure();

    std::printf("event floor, polls only: %.2f %% of one core (%.2f ticks/s, %.2f replies/s)\n", polls.cpuPct,
                polls.ticksPerSecond, polls.repliesPerSecond);
    std::printf("event floor, polls and one line box: %.2f %% of one core (%.2f ticks/s, %.2f replies/s)\n",
                withBox.cpuPct, withBox.ticksPerSecond, withBox.repliesPerSecond);
    const bool ok = polls.repliesPerSecond > 60 && withBox.repliesPerSecond > 60;
    if (!ok)
        std::fprintf(stderr, "bench_event_floor: the simulator did not answer every poll\n");
    return ok ? 0 : 1;
}
