#pragma once

#include "frame_book.h"
#include "random_operator.h"
#include "resource_sampler.h"
#include "soak_report.h"
#include "stderr_tap.h"

#include <QElapsedTimer>
#include <QString>

#include <memory>

namespace veltrano {
namespace harness {
class CountingSerial;
}
namespace simchild {
class DriverSimChild;
}
} // namespace veltrano

namespace veltrano::soak {

// The window on its real parts against the simulated driver board for a number of
// minutes, with the random operator at work, the polls and frames of the chart view
// booked, and a report once a minute and at the end.
class SoakRun {
public:
    SoakRun(int minutes, unsigned seed, const StderrTap& tap);
    ~SoakRun();

    // Starts the simulator (`simulator` on a line at `linkPath`, as COM3) and runs the
    // soak; returns the exit code.
    int run(const QString& simulator, const QString& linkPath);

private:
    bool setUp(const QString& simulator, const QString& linkPath);
    void settle();
    void abandon(const char* why);
    long failures() const;
    Tally tally() const;
    void reportMinute();
    int reportEnd();

    int minutes_;
    unsigned seed_;
    const StderrTap& tap_;
    long simUnusual_ = 0; // before the simulator, which counts into it to its end
    std::unique_ptr<simchild::DriverSimChild> sim_;
    harness::CountingSerial* serial_ = nullptr;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<RandomOperator> randomOperator_;
    QElapsedTimer clock_;
    FrameBook book_;
    ResourceSampler sampler_;
    long failuresAtStart_ = 0;
    qint64 connectedAtMs_ = 0;
    qint64 chartEnteredAtMs_ = 0;
};

} // namespace veltrano::soak
