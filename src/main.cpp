#include "app/application.h"
#include "app/command_line.h"
#include "app/form1.h"
#include "app/real_parts.h"
#include "platform/log.h"
#include "serial/simulated_board.h"

#ifdef Q_OS_WIN
#include "app/end_on_console_close.h"
#include "app/parent_console.h"
#else
#include "app/quit_on_signal.h"
#endif

int main(int argc, char* argv[])
{
    veltrano::installProgramLog();
#ifdef Q_OS_WIN
    veltrano::useParentConsole();
#endif
    veltrano::StartRequest start = veltrano::answerCommandLine(argc, argv);
    if (start.exitStatus)
        return *start.exitStatus;
    veltrano::Application app(argc, argv);
    std::shared_ptr<veltrano::PortTable> ports = veltrano::PortTable::fromEnvironment();
    if (start.simulatedPort)
        ports->placeSimulatedBoard(start.simulatedPort,
                                   std::make_shared<veltrano::SimulatedBoard>(std::move(start.replay)));
    veltrano::Form1 form(veltrano::realParts(std::move(ports)));
#ifdef Q_OS_WIN
    veltrano::endOnConsoleClose(form);
#else
    veltrano::endOnSignal(form);
#endif
    form.load();
    if (start.recording)
        form.recordRun(std::move(start.recording));
    form.show();
    return app.exec();
}
