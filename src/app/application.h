#pragma once

#include <QApplication>

namespace veltrano {

// The application object, made the same way by the program, its benchmarks and soak run
// and the tests that follow the program's rules: large buffers kept mapped (on Linux, before
// Qt allocates any), the Fusion style, and the program's one rule for failures.
//
// The rule: every handler runs to completion on the UI thread, and a failure it raises ends
// that handler only. The window's handlers run inside dispatch() (event_dispatch.h), which
// reports the failure and goes on. A failure that escapes a slot outside it (a handler
// connected straight to the serial control's onComm, raised again from a queued call so
// that it does not unwind through the line) reaches notify(), which hands it to the same
// report; the program goes on.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    static int& prepare(int& argc);
};

} // namespace veltrano
