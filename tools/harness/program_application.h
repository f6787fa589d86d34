#pragma once

// The program's application object (app/application.h), on the offscreen platform unless
// QT_QPA_PLATFORM names another.
#include "app/application.h"

namespace veltrano::harness {

class ProgramApplication : public Application {
public:
    ProgramApplication(int& argc, char** argv) : Application(offscreenUnlessChosen(argc), argv) { }

private:
    static int& offscreenUnlessChosen(int& argc)
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }
};

} // namespace veltrano::harness
