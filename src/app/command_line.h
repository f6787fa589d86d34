#pragma once

#include "record/run_recorder.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace veltrano {

// What the command line asks for: open the window, or print and end with a status.
struct CommandLineAnswer {
    bool run = true;
    int exitStatus = 0;
    QString output;  // for standard output
    QString errors;  // for standard error
    QString recordFile{}; // --record: a recording from start-up into this new file
};

// Reads the program's arguments, the program's own name first. --help and --version
// answer and end; Qt's own options (-platform, -style, ...) are accepted and left for
// QApplication; anything else is named on standard error with the help text. Needs a
// QCoreApplication (for the usage line).
CommandLineAnswer readCommandLine(const QStringList& arguments);

// For main, before the QApplication. Without an exit status, go on and open the window
// (with the recording --record started, if it asked for one); with one, the answer is
// printed and the program ends with it. A --record file that exists, or cannot be made,
// is named on standard error and ends the program with status 2. Needs no display, so
// --help and --version work over a plain terminal connection. Without arguments nothing
// is created and the start is the usual one.
struct StartRequest {
    std::optional<int> exitStatus;
    std::unique_ptr<RunRecorder> recording;
};
StartRequest answerCommandLine(int argc, char* argv[]);

} // namespace veltrano
