// The whole program against the simulated driver board for a minute: the window on its
// real parts (serial control on the simulator's pseudo-terminal at 115200 baud, the 64 Hz
// timer, the strip chart), connected, parameters loaded, motor running, in the chart view.
// Measures the tick rate, how many polls come back decoded, the CPU the program takes and
// whether its memory grows; before that, the CPU it takes connected in the setup view with
// nothing coming in.
//
//   bench_end_to_end [--seconds N] [--points N] [--3d] [--idle-seconds N] [--x-server-pid PID]
//                    [--freeze-chart] [--in-program]
//
// --seconds: the chart-view run (default 60); --points: points per series in the chart's
// window (default 51); --3d: the chart in 3D; --idle-seconds: the setup-view idle run
// (default 10, 0 skips it); --x-server-pid: also report that process's CPU share over the
// same runs (the X server, when run on one); --freeze-chart: the chart's updates turned off
// for the chart-view run, so that it still takes every tick's points and covers what lies
// behind it but paints no frame: what the run costs without the chart's frames, which
// tells the chart's share from the rest; --in-program: the board simulated inside the
// program (as --simulate) instead of the simulator on a pseudo-terminal, whose CPU share is
// reported beside the program's otherwise.
#include "chart_view_run.h"
#include "process_status.h"
#include "program_application.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

#ifndef VELTRANO_DRIVER_SIM_EXE
#error "VELTRANO_DRIVER_SIM_EXE must name the veltrano-driver-sim executable"
#endif

using namespace veltrano;
using veltrano::harness::ChartViewRun;
using veltrano::harness::cpuSeconds;
using veltrano::harness::cpuSecondsOf;
using veltrano::harness::runFor;

namespace {

int fail(const QString& what)
{
    std::fprintf(stderr, "bench_end_to_end: %s\n", qPrintable(what));
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
    bool freezeChart = false;
    bool inProgram = false;
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
        } else if (qstrcmp(argv[i], "--freeze-chart") == 0) {
            freezeChart = true;
        } else if (qstrcmp(argv[i], "--in-program") == 0) {
            inProgram = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--seconds N] [--points N] [--3d] [--idle-seconds N] [--x-server-pid PID] "
                         "[--freeze-chart] [--in-program]\n",
                         argv[0]);
            return 2;
        }
    }
    if (seconds < 1)
        return fail(QStringLiteral("--seconds must be at least 1"));
    if (points < 2 || idleSeconds < 0)
        return fail(QStringLiteral("--points must be at least 2 and --idle-seconds at least 0"));
    if (xServerPid > 0 && cpuSecondsOf(xServerPid) < 0)
        return fail(QStringLiteral("cannot read the X server's CPU time"));
    const char* const shape = view3D ? "3D" : "2D";

    harness::ProgramApplication app(argc, argv);

    ChartViewRun run(QStringLiteral(VELTRANO_DRIVER_SIM_EXE), inProgram);
    if (!run.error().isEmpty())
        return fail(run.error());
    run.setXServerPid(xServerPid);
    if (const QString error = run.connect(); !error.isEmpty())
        return fail(error);

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

    if (const QString error = run.openChartView(points, view3D); !error.isEmpty())
        return fail(error);
    if (freezeChart)
        run.form().TChart1.widget()->setUpdatesEnabled(false);
    // The run starts with nothing outstanding and is counted from the resume to the next pause.
    if (!run.pauseAndDrain())
        return fail(QStringLiteral("answers still outstanding after the warm-up"));
    const ChartViewRun::Stretch s = run.measure(seconds);
    const long polls = s.polls, decoded = s.decoded, ticks = s.ticks;
    const long rssStartKb = s.rssStartKb, rssEndKb = s.rssEndKb;
    const double elapsed = s.seconds, xCpu = s.xCpuSeconds;
    const long allPolls = run.serial().polls;
    const long simPolls = run.simPollsAfterAll();
    const long failures = run.failures();

    const double tickRate = ticks / elapsed;
    const double answeredPct = polls > 0 ? 100.0 * decoded / polls : 0.0;
    const double cpuPct = s.cpuPct();
    const double growthMb = (rssEndKb - rssStartKb) / 1024.0;

    const bool tickOk = tickRate >= 63.0 && tickRate <= 65.0;
    const bool pollsOk = polls == ticks;
    const bool decodedOk = polls > 0 && decoded * 100 >= polls * 99;
    const bool simOk = simPolls == allPolls;
    const bool idleOk = idleSeconds == 0 || idleCpuPct <= 0.3;
    const bool rssOk = rssStartKb > 0 && rssEndKb > 0 && growthMb < 1.0;
    const bool failuresOk = failures == 0;

    if (idleSeconds > 0) {
        std::printf("setup view idle, connected: %.1f s\n", double(idleSeconds));
        std::printf("setup view idle CPU share: %.2f %% of one core (target <= 0.3 %%)\n", idleCpuPct);
        if (xServerPid > 0)
            std::printf("setup view idle X server CPU share: %.2f %% of one core\n", idleXPct);
    }
    std::printf("end-to-end run (115200 baud, chart view %s, %d points, motor running%s, board %s): %.1f s\n", shape,
                points, freezeChart ? ", chart frozen" : "", inProgram ? "in the program" : "over a pty", elapsed);
    std::printf("end-to-end ticks per second: %.2f 1/s (target 63 to 65)\n", tickRate);
    std::printf("end-to-end polls written: %ld polls (target = chart-view ticks, %ld)\n", polls, ticks);
    std::printf("end-to-end frames decoded: %ld frames (target >= 99 %% of polls written)\n", decoded);
    std::printf("end-to-end polls answered and decoded: %.2f %% (target >= 99 %%)\n", answeredPct);
    std::printf("end-to-end polls received by the simulator: %ld polls (target = all polls written, %ld)\n", simPolls,
                allPolls);
    // An absolute share moves by points from run to run on a shared machine: its target is
    // the distance to the floor measured alongside (tools/bench/interleaved.sh).
    std::printf("end-to-end CPU share: %.2f %% of one core\n", cpuPct);
    if (xServerPid > 0)
        std::printf("end-to-end X server CPU share: %.2f %% of one core\n", 100.0 * xCpu / elapsed);
    if (!inProgram)
        std::printf("end-to-end simulator CPU share: %.2f %% of one core\n", 100.0 * s.simCpuSeconds / elapsed);
    std::printf("end-to-end resident memory at start: %.2f MB (target: reference for the growth)\n",
                rssStartKb / 1024.0);
    std::printf("end-to-end resident memory at end: %.2f MB (target < start + 1 MB)\n", rssEndKb / 1024.0);
    std::printf("end-to-end resident memory growth: %.3f MB (target < 1 MB)\n", growthMb);
    std::printf("end-to-end handler failures and unusual simulator lines: %ld (target 0)\n", failures);

    return tickOk && pollsOk && decodedOk && simOk && idleOk && rssOk && failuresOk ? 0 : 1;
}
