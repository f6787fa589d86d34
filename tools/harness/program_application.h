#pragma once

// The application object as the program's main makes it (large buffers mapped before it,
// Fusion style), on the offscreen platform unless QT_QPA_PLATFORM names another.
#include "app/process_memory.h"

#include <QApplication>

namespace veltrano::harness {

class ProgramApplication : public QApplication {
public:
    ProgramApplication(int& argc, char** argv) : QApplication(prepare(argc), argv)
    {
        setStyle(QStringLiteral("Fusion"));
    }

private:
    static int& prepare(int& argc)
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        keepLargeBuffersMapped();
        return argc;
    }
};

} // namespace veltrano::harness
