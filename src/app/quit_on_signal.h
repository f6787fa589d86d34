#pragma once

namespace veltrano {

class Form1;

// SIGTERM, SIGHUP and SIGINT (kill, logout, Ctrl+C in the terminal) end the program the
// way End does: the signal handler only wakes the event loop, which clicks End on the
// window, so that the port, its flock and its lock file go with the window as on any
// close. A second of these signals before the program has ended ends it at once, by that
// signal's default action. A signal the program was started with ignored (nohup, a
// background job of a script) stays ignored. Call once, before the event loop runs.
void endOnSignal(Form1& window);

} // namespace veltrano
