#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace veltrano {

// What the command line asks for: open the window, or print and end with a status.
struct CommandLineAnswer {
    bool run = true;
    int exitStatus = 0;
    QString output;  // for standard output
    QString errors;  // for standard error
};

// Reads the program's arguments, the program's own name first. --help and --version
// answer and end; Qt's own options (-platform, -style, ...) are accepted and left for
// QApplication; anything else is named on standard error with the help text. Needs a
// QCoreApplication (for the usage line).
CommandLineAnswer readCommandLine(const QStringList& arguments);

// For main, before the QApplication: an empty result means go on and open the window,
// else the answer is printed and this is the exit status. Needs no display, so --help
// and --version work over a plain terminal connection. Without arguments nothing is
// created and the start is the usual one.
std::optional<int> answerCommandLine(int argc, char* argv[]);

} // namespace veltrano
