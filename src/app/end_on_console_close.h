#pragma once

namespace veltrano {

class Form1;

// A console the program was started from ends it a few seconds after Ctrl+C, Ctrl+Break or
// its closing, running nothing of the program's after the handler returns: each ends the
// program the way End does before it returns (the recording finished in whole lines, the
// port closed and free). Logoff and shutdown need nothing here: Qt answers WM_ENDSESSION
// by quitting, which closes the window, and so runs End's close, before it returns.
// Call once, before the event loop runs.
void endOnConsoleClose(Form1& window);

} // namespace veltrano
