#pragma once

// The whole program against the simulated driver board, as the end-to-end benchmarks run
// it: the window on its real parts (serial control on the simulator's pseudo-terminal, or
// on the program's own simulated board, counted by a CountingSerial; the 64 Hz timer; the
// strip chart), connected at 115200
// baud, parameters loaded, motor running, in the chart view. Stretches of the run are
// measured from a resume of the chart to the next pause, with nothing outstanding at
// either end.

#include "app/form1.h"
#include "serial/simulated_board.h"
#include "counting_serial.h"
#include "driver_sim_child.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace veltrano::harness {

// Runs the event loop until `done` holds (checked every 5 ms) or the time is up.
bool waitUntil(const std::function<bool()>& done, int timeoutMs);

// Runs the event loop for `ms` without waking up for anything of its own.
void runFor(int ms);

class ChartViewRun {
public:
    // Starts the simulator (its line in a temporary folder of the run's own, as COM3) and
    // makes the window; nothing is shown yet. Unusual simulator lines are counted and
    // echoed on standard error. inProgram puts the program's own simulated board at COM3
    // instead, as --simulate does, and starts no simulator.
    explicit ChartViewRun(const QString& simExecutable, bool inProgram = false);

    // Why the simulator did not start; empty when it did.
    QString error() const;
    // A path in the run's temporary folder, which goes with the run.
    QString tempPath(const QString& name) const { return dir_.filePath(name); }

    // Loads and shows the window and connects to COM3 at 115200 baud, up to the greeting's
    // reply. Returns what went wrong, or an empty string.
    QString connect();
    // LOAD DATA, RUN, SIMULATION, the window length and the 3D switch, then a warm-up: the
    // strip fills its window and scrolls for a second. Returns what went wrong, or "".
    QString openChartView(int points, bool view3D);
    // Pauses the chart if it runs and waits for the answers on the way. False when some
    // stay outstanding.
    bool pauseAndDrain();

    struct Stretch {
        double seconds = 0; // wall time from resume to pause
        double cpuSeconds = 0; // this process's CPU time over it (all its threads)
        double xCpuSeconds = 0; // the X server's, when one was named
        double simCpuSeconds = 0; // the simulator process's (0 with the board in the program)
        long ticks = 0; // chart-view ticks
        long polls = 0; // polls written
        long decoded = 0; // frames decoded, the answers to the last polls included
        long rssStartKb = 0; // resident memory just before the resume
        long rssEndKb = 0; // ... and once the last answers came in
        double cpuPct() const { return seconds > 0 ? 100.0 * cpuSeconds / seconds : 0; }
    };
    // Pauses and drains, resumes (calling `atResume` just after), runs for `seconds`,
    // pauses and waits up to 2 s for the answers to the last polls.
    Stretch measure(int seconds, const std::function<void()>& atResume = {});

    // Counted from the window's side, live: chart-view ticks while a stretch is measured,
    // and frames decoded in the chart view (reset at the start of each stretch).
    long ticks() const { return ticks_; }
    long decoded() const { return decoded_; }

    // Waits (up to 3 s) until the simulator's summaries cover every poll written, and
    // returns the polls it received.
    long simPollsAfterAll();
    // Handler failures since the window was made plus unusual simulator lines.
    long failures() const;

    void setXServerPid(long pid) { xServerPid_ = pid; }

    Form1& form() { return *form_; }
    CountingSerial& serial() { return *serial_; }

private:
    QTemporaryDir dir_;
    long unusualSimLines_ = 0;
    std::unique_ptr<simchild::DriverSimChild> sim_;
    std::shared_ptr<SimulatedBoard> board_;
    CountingSerial* serial_ = nullptr;
    std::unique_ptr<Form1> form_;
    long failuresAtStart_ = 0;
    long xServerPid_ = 0;
    bool measuring_ = false;
    long ticks_ = 0;
    long decoded_ = 0;
};

} // namespace veltrano::harness
