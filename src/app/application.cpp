#include "app/application.h"

#include "app/event_dispatch.h"
#include "platform/log.h"

#ifndef Q_OS_WIN
#include "app/process_memory.h"
#endif

#include <exception>

namespace veltrano {

int& Application::prepare(int& argc)
{
#ifndef Q_OS_WIN
    keepLargeBuffersMapped();
#endif
    return argc;
}

Application::Application(int& argc, char** argv) : QApplication(prepare(argc), argv)
{
    installProgramLog();
    setStyle(QStringLiteral("Fusion"));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    // No std::function here: this runs for every event.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportFailure(receiver ? receiver->metaObject()->className() : "event", std::current_exception());
        return false;
    }
}

} // namespace veltrano
