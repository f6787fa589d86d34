#pragma once

// The program's messages on standard error, one logging category per room. Each goes out
// as "veltrano: " and the message, one line, on every system; QT_LOGGING_RULES can silence
// a room ("veltrano.serial.warning=false").
#include <QLoggingCategory>

namespace veltrano {

Q_DECLARE_LOGGING_CATEGORY(lcApp) // veltrano.app: start-up and ending
Q_DECLARE_LOGGING_CATEGORY(lcDispatch) // veltrano.dispatch: failures that ended a handler
Q_DECLARE_LOGGING_CATEGORY(lcLink) // veltrano.link: ports other programs hold
Q_DECLARE_LOGGING_CATEGORY(lcRecord) // veltrano.record: recordings that stopped early
Q_DECLARE_LOGGING_CATEGORY(lcSerial) // veltrano.serial: the port table and lost devices

// Sends the categories above to standard error with the program's prefix, and everything
// else where Qt sends it. Called once, first thing in the program.
void installProgramLog();

} // namespace veltrano
