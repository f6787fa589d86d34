#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace veltrano::testing {

// The simulated driver board (tools/driver-sim) run as a child process for a test.
// Its log on standard error is collected line by line; the process is asked to stop
// (SIGTERM, then killed if it does not) when the object goes, so a failing check
// leaves nothing running.
class DriverSimProcess {
public:
    // Starts `executable --link linkPath --com comName` plus extraArgs and waits for the
    // VELTRANO_PORTS entry it prints. Check ok() / error() afterwards.
    DriverSimProcess(const QString& executable, const QString& linkPath, const QString& comName,
                     const QStringList& extraArgs = {});
    ~DriverSimProcess();
    DriverSimProcess(const DriverSimProcess&) = delete;
    DriverSimProcess& operator=(const DriverSimProcess&) = delete;

    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }

    // The entry the simulator printed, e.g. "COM3=/tmp/x/tty".
    QString portsEntry() const { return entry_; }
    // How many times it announced its line: 2 once a pulled-out line came back.
    int announcements();

    // Its log lines so far, time stamps removed.
    QStringList log();
    // What it received, in order: the log lines starting with "rx ".
    QStringList received();
    // Polls it counted, summed over its once-a-second summaries.
    long summarisedPolls();
    // True when a log line so far equals `line`.
    bool logged(const QString& line);
    // The simulator's clock (seconds since it started) at the first log line equal to
    // `line`; negative when there is none yet.
    double loggedAt(const QString& line);

    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    // Asks it to stop and waits; kills it when it does not stop in time.
    void stop();

private:
    void collect();

    QProcess process_;
    QString error_;
    QString entry_;
    QByteArray outBuffer_;
    QByteArray errBuffer_;
    QStringList outLines_;
    QStringList logLines_;
    QList<double> logTimes_; // per log line; -1 for a line without a time stamp
};

} // namespace veltrano::testing
