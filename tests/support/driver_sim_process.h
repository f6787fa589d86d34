#pragma once

#include "driver_sim_child.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace veltrano::testing {

// The simulated driver board (tools/driver-sim) run as a child process for a test, with
// its whole log kept. The process is asked to stop (SIGTERM, then killed if it does not)
// when the object goes, so a failing check leaves nothing running.
class DriverSimProcess {
public:
    // Starts `executable --link linkPath --com comName` plus extraArgs and waits for the
    // VELTRANO_PORTS entry it prints. Check ok() / error() afterwards.
    DriverSimProcess(const QString& executable, const QString& linkPath, const QString& comName,
                     const QStringList& extraArgs = {});

    bool ok() const { return child_.ok(); }
    QString error() const { return child_.error(); }

    // The entry the simulator printed, e.g. "COM3=/tmp/x/tty".
    QString portsEntry() const { return child_.portsEntry(); }
    // How many times it announced its line: 2 once a pulled-out line came back.
    int announcements() { return child_.announcements(); }

    // Its log lines so far, time stamps removed.
    QStringList log();
    // What it received, in order: the log lines starting with "rx ".
    QStringList received();
    // Polls it counted, summed over its once-a-second summaries.
    long summarisedPolls() { return child_.polls(); }
    // True when a log line so far equals `line`.
    bool logged(const QString& line);
    // The simulator's clock (seconds since it started) at the first log line equal to
    // `line`; negative when there is none yet.
    double loggedAt(const QString& line);

    bool isRunning() const { return child_.isRunning(); }
    // Asks it to stop and waits; kills it when it does not stop in time.
    void stop() { child_.stop(); }

private:
    // Before the child, which fills them from its start to its end.
    QStringList logLines_;
    QList<double> logTimes_; // per log line; -1 for a line without a time stamp
    simchild::DriverSimChild child_;
};

} // namespace veltrano::testing
