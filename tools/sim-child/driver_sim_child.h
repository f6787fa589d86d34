#pragma once

// The simulated driver board (tools/driver-sim) as a child process of a test, a benchmark
// or the soak run. Its log on standard error is read as it comes and handed on line by
// line, not kept, so that a long run does not grow on it; its once-a-second poll summaries
// are summed. Whoever wants the whole log keeps it from the handler.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace veltrano::simchild {

// One log line: the simulator's clock at it (seconds since it started; negative for a line
// without a time stamp) and the text after the time stamp.
using LogHandler = std::function<void(double seconds, const QString& line)>;

class DriverSimChild {
public:
    // Starts `executable --link linkPath --com comName` plus extraArgs and waits (up to
    // 10 s) for the VELTRANO_PORTS entry it prints. Check ok() / error() afterwards. Every
    // log line from the start on goes to onLogLine.
    DriverSimChild(const QString& executable, const QString& linkPath, const QString& comName,
                   const QStringList& extraArgs = {}, LogHandler onLogLine = {});
    ~DriverSimChild();
    DriverSimChild(const DriverSimChild&) = delete;
    DriverSimChild& operator=(const DriverSimChild&) = delete;

    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }
    // The entry the simulator printed, e.g. "COM3=/tmp/x/tty".
    QString portsEntry() const { return entry_; }
    // How many times it announced its line: 2 once a pulled-out line came back.
    int announcements();

    // Polls the simulator received and answered, summed over its once-a-second summaries
    // (a summary covers the second before it, so these lag by up to a second).
    long polls();
    long answered();

    // Takes what it wrote so far and hands on the complete log lines. Also done whenever
    // the event loop sees its log grow.
    void readOutput();

    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    long pid() const { return long(process_.processId()); }
    // Asks it to stop and waits; kills it when it does not stop in time.
    void stop();

private:
    QProcess process_;
    LogHandler onLogLine_;
    QString error_;
    QString entry_;
    QByteArray outBuffer_;
    QByteArray errBuffer_;
    int outLines_ = 0;
    QString firstOutLine_;
    int announcements_ = 0;
    bool starting_ = true;
    QStringList startLog_; // the log up to the entry, for the error when there is none
    long polls_ = 0;
    long answered_ = 0;
};

// True for the log lines of a session going as it should: a poll summary, a greeting,
// record, run, direction or stop received, the line being linked, opened or closed, and
// the exit. Anything else (a bad record, a full line, ...) is worth a look.
bool isOrdinaryTraffic(const QString& line);

// Asks `process` to stop (SIGTERM) and waits; kills it when it does not stop within 5 s.
void stopProcess(QProcess& process);

} // namespace veltrano::simchild
