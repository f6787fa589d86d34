// Soak run: the window on its real parts against the simulated driver board for a long
// time, with an operator clicking around at random (seeded) moments: switching views,
// pausing and resuming the chart, loading parameters, RUN / DIV / STOP, 3D and the window
// length, disconnecting and reconnecting (now and then with a port search in between).
// Once a minute and at the end it reports memory, CPU, the chart view's polls against the
// frames it decoded, handler failures and everything written to standard error.
//
//   soak [--minutes N] [--seed S]      (defaults: 10 minutes, seed 1)
//
// Exits 1 when a frame was lost, the resident memory grew by more than 1 MB after the
// first minute, or a handler failed; 2 when the run could not be set up.
#include "program_application.h"
#include "soak_run.h"
#include "stderr_tap.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#ifndef VELTRANO_DRIVER_SIM_EXE
#error "VELTRANO_DRIVER_SIM_EXE must name the veltrano-driver-sim executable"
#endif

using namespace veltrano;

int main(int argc, char* argv[])
{
    int minutes = 10;
    unsigned seed = 1;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--minutes") == 0 && i + 1 < argc) {
            minutes = std::atoi(argv[++i]);
        } else if (qstrcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seed = unsigned(std::strtoul(argv[++i], nullptr, 10));
        } else {
            std::fprintf(stderr, "usage: %s [--minutes N] [--seed S]\n", argv[0]);
            return 2;
        }
    }
    if (minutes < 1) {
        std::fprintf(stderr, "soak: --minutes must be at least 1\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    soak::StderrTap tap;
    int code = 2;
    {
        harness::ProgramApplication app(argc, argv);
        QTemporaryDir dir;
        if (!dir.isValid())
            return 2;
        soak::SoakRun soak(minutes, seed, tap);
        code = soak.run(QStringLiteral(VELTRANO_DRIVER_SIM_EXE), dir.filePath(QStringLiteral("tty")));
    }
    return code;
}
