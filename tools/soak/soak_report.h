#pragma once

#include "frame_book.h"
#include "random_operator.h"
#include "resource_sampler.h"

#include <QtGlobal>

#include <string>
#include <vector>

namespace veltrano::soak {

constexpr double kGrowthLimitMb = 1.0;

// One line about an event of the run, stamped with the time since its start.
__attribute__((format(printf, 2, 3))) void note(qint64 elapsedMs, const char* format, ...);

// What the run counted so far, for the reports.
struct Tally {
    const FrameBook& book;
    const Actions& actions;
    long failures; // handler failures
    long stderrLines; // lines written to standard error
    long simulatorUnusual; // simulator log lines other than ordinary traffic
};

// Where the window stands, for the minute line.
struct WindowState {
    bool chartView;
    bool connected;
    bool paused;
};

// The line "minute N: ...".
void reportMinute(const ResourceSampler::Minute& minute, const Tally& tally, const WindowState& window);

// Everything the end of the run reports, with the verdict.
struct Ending {
    double elapsedSeconds;
    unsigned seed;
    ResourceSampler::End resources;
    long simulatorPolls; // polls the simulator counted
    long pollsWritten; // all polls written, in either view
    std::vector<std::string> firstStderrLines;
};

// The totals and "soak result: PASS" or "soak result: FAIL: ..."; returns the exit code.
int reportEnd(const Ending& ending, const Tally& tally);

} // namespace veltrano::soak
