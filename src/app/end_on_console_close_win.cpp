#include "app/end_on_console_close.h"

#include "app/form1.h"

#include <QCoreApplication>

#include <windows.h>

namespace veltrano {

namespace {

Form1* endingWindow = nullptr;

// On the UI thread. The window is hidden once End has run, so a second request does nothing.
void endAsEndDoes()
{
    if (endingWindow && endingWindow->isVisible())
        endingWindow->End->click();
}

// On a thread of the system's: the UI thread runs End while this one waits, since the
// process may end as soon as this returns.
BOOL WINAPI consoleEnds(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        QMetaObject::invokeMethod(QCoreApplication::instance(), &endAsEndDoes, Qt::BlockingQueuedConnection);
        return TRUE;
    default: return FALSE;
    }
}

} // namespace

void endOnConsoleClose(Form1& window)
{
    endingWindow = &window;
    SetConsoleCtrlHandler(&consoleEnds, TRUE);
}

} // namespace veltrano
