// The whole program against the simulated driver board for a minute: the window on its
// real parts (serial control on the simulator's pseudo-terminal at 115200 baud, the 64 Hz
// timer, the strip chart), connected, parameters loaded, motor running, in the chart view.
// Measures the tick rate, how many polls come back decoded, the CPU the program takes and
// whether its memory grows; before that, the CPU it takes connected in the setup view with
// nothing coming in.
//
//   bench_end_to_end [--seconds N] [--points N] [--3d] [--idle-seconds N] [--x-server-pid PID]
//
// --seconds: the chart-view run (default 60); --points: points per series in the chart's
// window (default 51); --3d: the chart in 3D; --idle-seconds: the setup-view idle run
// (default 10, 0 skips it); --x-server-pid: also report that process's CPU share over the
// same runs (the X server, when run on one).
#include "app/event_dispatch.h"
#include "app/form1.h"
#include "app/real_parts.h"
#include "counting_serial.h"
#include "driver_sim_child.h"
#include "process_status.h"
#include "program_application.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#ifndef VELTRANO_DRIVER_SIM_EXE
#error "VELTRANO_DRIVER_SIM_EXE must name the veltrano-driver-sim executable"
#endif

using namespace veltrano;
using veltrano::harness::CountingSerial;
using veltrano::harness::cpuSeconds;
using veltrano::harness::cpuSecondsOf;
using veltrano::harness::residentKb;
using veltrano::simchild::DriverSimChild;

namespace {

const QString kDefaultRecordReply =
    QStringLiteral("ok mode 0 h-bridge sf 2600 acc off resp 10 test 2 edge 1\r\n");
const QString kRunReply = QStringLiteral("run h-bridge\r\n");

// Runs the event loop until `done` holds (checked every 5 ms) or the time is up.
bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Runs the event loop for `ms` without waking up for anything of its own.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

int fail(const char* what)
{
    std::fprintf(stderr, "bench_end_to_end: %s\n", what);
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    int seconds = 60;
    int points = 51;
    bool view3D = false;
    int idleSeconds = 10;
    long xServerPid = 0;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (qstrcmp(argv[i], "--seconds") == 0 && hasValue) {
            seconds = std::atoi(argv[++i]);
        } else if (qstrcmp(argv[i], "--points") == 0 && hasValue) {
            points = std::atoi(argv[++i]);
        } else if (qstrcmp(argv[i], "--3d") == 0) {
            view3D = true;
        } else if (qstrcmp(argv[i], "--idle-seconds") == 0 && hasValue) {
            idleSeconds = std::atoi(argv[++i]);
        } else if (qstrcmp(argv[i], "--x-server-pid") == 0 && hasValue) {
            xServerPid = std::atol(argv[++i]);
        } else {
            std::fprintf(stderr,
                         "usage: %s [--seconds N] [--points N] [--3d] [--idle-seconds N] [--x-server-pid PID]\n",
                         argv[0]);
            return 2;
        }
    }
    if (seconds < 1)
        return fail("--seconds must be at least 1");
    if (points < 2 || idleSeconds < 0)
        return fail("--points must be at least 2 and --idle-seconds at least 0");
    if (xServerPid > 0 && cpuSecondsOf(xServerPid) < 0)
        return fail("cannot read the X server's CPU time");
    const char* const shape = view3D ? "3D" : "2D";
    // The chart-view target: a third of what the chart took before its frames were cut down.
    const double cpuTarget = view3D ? 3.0 : 2.0;

    harness::ProgramApplication app(argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid())
        return fail("no temporary directory");
    long unusualSimLines = 0;
    DriverSimChild sim(QStringLiteral(VELTRANO_DRIVER_SIM_EXE), dir.filePath(QStringLiteral("tty")),
                       QStringLiteral("COM3"), {}, [&](double, const QString& line) {
                           if (simchild::isOrdinaryTraffic(line))
                               return;
                           ++unusualSimLines;
                           std::fprintf(stderr, "simulator: %s\n", qPrintable(line.trimmed()));
                       });
    if (!sim.ok())
        return fail(qPrintable(sim.error()));
    qputenv("VELTRANO_PORTS", sim.portsEntry().toLocal8Bit());

    Form1Parts parts = realParts();
    auto counting = std::make_unique<CountingSerial>(std::move(parts.serial));
    CountingSerial* serial = counting.get();
    parts.serial = std::move(counting);
    Form1 form(std::move(parts));
    const long failuresAtStart = dispatchFailureCount();

    // Counted after the window's own handlers, which were connected first.
    bool measuring = false;
    long ticks = 0;   // chart-view ticks while measuring
    long decoded = 0; // frames decoded in the chart view while measuring (and its drain)
    QObject::connect(&form.Timer1, &TickTimer::tick, &form, [&] {
        if (measuring && form.Draw->text() == QLatin1String("Stop"))
            ++ticks;
    });
    QObject::connect(&form.MSComm1, &SerialControl::onComm, &form, [&] {
        // A decoded frame ends with the end mark just taken and leaves the box holding "0".
        if (form.Draw->text() == QLatin1String("Stop") && serial->lastTaken == 'E'
            && form.Text2->text() == QLatin1String("0"))
            ++decoded;
    });

    form.load();
    form.show();
    if (form.Combo4->text() != QLatin1String("COM3"))
        return fail("the start-up search did not list COM3");
    form.Combo3->setCurrentIndex(form.Combo3->findText(QStringLiteral("115200")));
    form.Command4->click();
    if (!form.MSComm1.portOpen() || form.MSComm1.settings() != QLatin1String("115200,N,8,1"))
        return fail("could not connect at 115200 baud");
    if (!waitUntil([&] { return form.Text2->text().endsWith(QLatin1String("\r\n")); }, 5000))
        return fail("no greeting reply");

    // Connected in the setup view, with nothing coming in once the greeting's progress run
    // (60 ticks) is over.
    double idleCpuPct = -1, idleXPct = -1;
    if (idleSeconds > 0) {
        runFor(1500);
        const double xBefore = xServerPid > 0 ? cpuSecondsOf(xServerPid) : 0;
        QElapsedTimer idleWall;
        const double idleCpu = cpuSeconds();
        idleWall.start();
        runFor(idleSeconds * 1000);
        const double idleElapsed = idleWall.nsecsElapsed() / 1e9;
        idleCpuPct = 100.0 * (cpuSeconds() - idleCpu) / idleElapsed;
        if (xServerPid > 0)
            idleXPct = 100.0 * (cpuSecondsOf(xServerPid) - xBefore) / idleElapsed;
    }

    form.Command2->click();
    if (!waitUntil([&] { return form.Text2->text().endsWith(kDefaultRecordReply); }, 5000))
        return fail("no reply to the parameter record");
    form.Command1->click();
    if (!waitUntil([&] { return form.Text2->text().endsWith(kRunReply); }, 5000))
        return fail("no reply to RUN");
    form.Draw->click();
    if (form.Draw->text() != QLatin1String("Stop"))
        return fail("the chart view did not open");
    form.HScroll1->setValue(points - 1);
    if (form.HScroll1->value() != points - 1)
        return fail("the scroll bar does not take that window length");
    if (view3D)
        form.Check2->click();

    // Warm-up: the strip fills its window (50 points by default) and scrolls for a second.
    runFor(int(1000 * (form.HScroll1->value() + 64) / 64));

    // Pause and let the answers on the way come in, so that the run starts with nothing
    // outstanding; then count from the resume to the next pause.
    form.Check4->click();
    if (!waitUntil([&] { return form.Text2->text() == QLatin1String("0"); }, 2000))
        return fail("answers still outstanding after the warm-up");
    runFor(100);
    const long pollsBefore = serial->polls;
    decoded = 0;
    const long rssStartKb = residentKb();
    QElapsedTimer wall;
    const double cpuStart = cpuSeconds();
    const double xStart = xServerPid > 0 ? cpuSecondsOf(xServerPid) : 0;
    wall.start();
    measuring = true;
    form.Check4->click(); // resume

    runFor(seconds * 1000);

    form.Check4->click(); // pause
    measuring = false;
    const double cpu = cpuSeconds() - cpuStart;
    const double xCpu = xServerPid > 0 ? cpuSecondsOf(xServerPid) - xStart : 0;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const long polls = serial->polls - pollsBefore;
    // The answers to the last polls, then the simulator's summary of its last second.
    waitUntil([&] { return decoded >= polls; }, 2000);
    const long rssEndKb = residentKb();
    waitUntil([&] { return sim.polls() >= serial->polls; }, 3000);
    const long simPolls = sim.polls();
    const long failures = dispatchFailureCount() - failuresAtStart;

    const double tickRate = ticks / elapsed;
    const double answeredPct = polls > 0 ? 100.0 * decoded / polls : 0.0;
    const double cpuPct = 100.0 * cpu / elapsed;
    const double growthMb = (rssEndKb - rssStartKb) / 1024.0;

    const bool tickOk = tickRate >= 63.0 && tickRate <= 65.0;
    const bool pollsOk = polls == ticks;
    const bool decodedOk = polls > 0 && decoded * 100 >= polls * 99;
    const bool simOk = simPolls == serial->polls;
    const bool cpuOk = cpuPct <= cpuTarget;
    const bool idleOk = idleSeconds == 0 || idleCpuPct <= 0.3;
    const bool rssOk = rssStartKb > 0 && rssEndKb > 0 && growthMb < 1.0;
    const bool failuresOk = failures == 0 && unusualSimLines == 0;

    if (idleSeconds > 0) {
        std::printf("setup view idle, connected: %.1f s\n", double(idleSeconds));
        std::printf("setup view idle CPU share: %.2f %% of one core (target <= 0.3 %%)\n", idleCpuPct);
        if (xServerPid > 0)
            std::printf("setup view idle X server CPU share: %.2f %% of one core\n", idleXPct);
    }
    std::printf("end-to-end run (115200 baud, chart view %s, %d points, motor running): %.1f s\n", shape, points,
                elapsed);
    std::printf("end-to-end ticks per second: %.2f 1/s (target 63 to 65)\n", tickRate);
    std::printf("end-to-end polls written: %ld polls (target = chart-view ticks, %ld)\n", polls, ticks);
    std::printf("end-to-end frames decoded: %ld frames (target >= 99 %% of polls written)\n", decoded);
    std::printf("end-to-end polls answered and decoded: %.2f %% (target >= 99 %%)\n", answeredPct);
    std::printf("end-to-end polls received by the simulator: %ld polls (target = all polls written, %ld)\n",
                simPolls, serial->polls);
    std::printf("end-to-end CPU share: %.2f %% of one core (target <= %.1f %%)\n", cpuPct, cpuTarget);
    if (xServerPid > 0)
        std::printf("end-to-end X server CPU share: %.2f %% of one core\n", 100.0 * xCpu / elapsed);
    std::printf("end-to-end resident memory at start: %.2f MB (target: reference for the growth)\n",
                rssStartKb / 1024.0);
    std::printf("end-to-end resident memory at end: %.2f MB (target < start + 1 MB)\n", rssEndKb / 1024.0);
    std::printf("end-to-end resident memory growth: %.3f MB (target < 1 MB)\n", growthMb);
    std::printf("end-to-end handler failures and unusual simulator lines: %ld (target 0)\n",
                failures + unusualSimLines);

    return tickOk && pollsOk && decodedOk && simOk && cpuOk && idleOk && rssOk && failuresOk ? 0 : 1;
}
