#include "app/command_line.h"
#include "app/form1.h"
#include "app/process_memory.h"
#include "app/quit_on_signal.h"
#include "app/real_parts.h"
#include "serial/simulated_board.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    veltrano::keepLargeBuffersMapped();
    veltrano::StartRequest start = veltrano::answerCommandLine(argc, argv);
    if (start.exitStatus)
        return *start.exitStatus;
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    std::shared_ptr<veltrano::PortTable> ports = veltrano::PortTable::fromEnvironment();
    if (start.simulatedPort)
        ports->placeSimulatedBoard(start.simulatedPort,
                                   std::make_shared<veltrano::SimulatedBoard>(std::move(start.replay)));
    veltrano::Form1 form(veltrano::realParts(std::move(ports)));
    veltrano::endOnSignal(form);
    form.load();
    if (start.recording)
        form.recordRun(std::move(start.recording));
    form.show();
    return app.exec();
}
