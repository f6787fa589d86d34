#pragma once

#include "record/run_recorder.h"
#include "sim/replay_file.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace veltrano {

// What the command line asks for: open the window, or print and end with a status.
struct CommandLineAnswer {
    bool run = true;
    int exitStatus = 0;
    QString output; // for standard output
    QString errors; // for standard error
    QString recordFile{}; // --record: a recording from start-up into this new file
    int simulatedPort = 0; // --simulate[=COMn] or --replay: the simulated board's port number
    QString replayFile{}; // --replay: the kept run the simulated board answers the polls with
};

// Reads the program's arguments, the program's own name first. --help and --version
// answer and end; Qt's own options (-platform, -style, ...) are accepted and left for
// QApplication; anything else is named on standard error with the help text. A
// --simulate port that is none of COM1 to COM16 is named on one line. Needs a
// QCoreApplication (for the usage line).
CommandLineAnswer readCommandLine(const QStringList& arguments);

// For main, before the QApplication. Without an exit status, go on and open the window
// (with the recording --record started, if it asked for one, and the simulated board on
// its port); with one, the answer is printed and the program ends with it. A --record file
// that exists, or cannot be made, and a --replay file with nothing to play are named on
// standard error and end the program with status 2 (bad rows of a playable file are named
// and skipped). Needs no display, so --help and --version work over a plain terminal
// connection; a window to open without a desktop session (Linux: no DISPLAY or
// WAYLAND_DISPLAY, no platform chosen) is refused with status 1. Without arguments nothing
// is created and the start is the usual one.
struct StartRequest {
    std::optional<int> exitStatus;
    std::unique_ptr<RunRecorder> recording{};
    int simulatedPort = 0; // 0: no simulated board
    std::vector<sim::Frame> replay{}; // the frames it answers the polls with, when any
};
StartRequest answerCommandLine(int argc, char* argv[]);

} // namespace veltrano
