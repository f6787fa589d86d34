// The Windows serial line closed while its reader waits for bytes, and while an answer is
// on its way: every close returns within a moment (never waits on the pending read) and
// lets go of the port, so the next open of the same port succeeds.
// Usage: line_close COMn       (a port with something on the far side that answers "Q")
#include "serial/system_line.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: line_close COMn\n");
        return 2;
    }
    const QString port = QString::fromLocal8Bit(argv[1]);
    constexpr qint64 kMomentMs = 500; // a pending read is never waited out
    qint64 slowest = 0;
    for (int round = 0; round < 20; ++round) {
        std::unique_ptr<veltrano::ByteLine> line(veltrano::makeSystemLine(port, port, nullptr));
        try {
            line->open(9600);
            if (round % 2)
                line->write("Q");
        } catch (const std::exception& error) {
            std::printf("round %d: %s\n", round, error.what());
            return 1;
        }
        QThread::msleep(30);
        QElapsedTimer clock;
        clock.start();
        line->close();
        slowest = std::max(slowest, clock.elapsed());
    }
    std::printf("20 closes, the slowest in %lld ms\n", static_cast<long long>(slowest));
    return slowest < kMomentMs ? 0 : 1;
}
