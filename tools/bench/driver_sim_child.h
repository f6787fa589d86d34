#pragma once

// The simulated driver board (tools/driver-sim) as a child process of a benchmark or of
// the soak run. Its log on standard error is read as it comes and not kept, so that a
// long run does not grow on it: the once-a-second poll summaries are summed, and every
// line that is neither a summary nor ordinary traffic is handed to a callback.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <functional>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace veltrano::bench {

class DriverSimChild {
public:
    // Starts `executable --link linkPath --com comName` plus extraArgs and waits (up to
    // 10 s) for the VELTRANO_PORTS entry it prints. Check ok() / error() afterwards.
    DriverSimChild(const QString& executable, const QString& linkPath, const QString& comName,
                   const QStringList& extraArgs = {})
    {
        process_.setProgram(executable);
        process_.setArguments(QStringList{QStringLiteral("--link"), linkPath, QStringLiteral("--com"), comName}
                              + extraArgs);
#ifdef Q_OS_LINUX
        // Should this process die, the simulator is told to stop as well.
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
        QObject::connect(&process_, &QProcess::readyReadStandardError, &process_, [this] { readLog(); });
        process_.start();
        if (!process_.waitForStarted(10000)) {
            error_ = QStringLiteral("simulator did not start: %1").arg(process_.errorString());
            return;
        }
        const QByteArray prefix = "VELTRANO_PORTS entry: ";
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && !out_.contains('\n') && process_.state() != QProcess::NotRunning) {
            process_.waitForReadyRead(50);
            readLog();
        }
        readLog();
        const QByteArray first = out_.left(out_.indexOf('\n')).trimmed();
        out_.clear();
        if (!first.startsWith(prefix)) {
            error_ = QStringLiteral("simulator printed no port entry (got \"%1\")").arg(QString::fromLocal8Bit(first));
            return;
        }
        entry_ = QString::fromLocal8Bit(first.mid(prefix.size()));
    }

    ~DriverSimChild() { stop(); }
    DriverSimChild(const DriverSimChild&) = delete;
    DriverSimChild& operator=(const DriverSimChild&) = delete;

    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }
    // The entry the simulator printed, e.g. "COM3=/tmp/x/tty".
    QString portsEntry() const { return entry_; }

    // Polls the simulator received and answered, summed over its once-a-second summaries
    // (a summary covers the second before it, so these lag by up to a second).
    long polls() { readLog(); return polls_; }
    long answered() { readLog(); return answered_; }

    // Called with each log line (time stamp removed) that is not a poll summary, a
    // greeting, record, run, direction or stop received, or the line being opened or closed.
    void setUnusualLineHandler(std::function<void(const QString&)> handler) { unusual_ = std::move(handler); }

    // Asks it to stop (SIGTERM) and waits; kills it when it does not stop in time.
    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
        readLog();
    }

private:
    void readLog()
    {
        // Standard output holds the entry line; it is kept only until the entry was read.
        if (entry_.isEmpty() && error_.isEmpty())
            out_ += process_.readAllStandardOutput();
        else
            process_.readAllStandardOutput();
        buffer_ += process_.readAllStandardError();
        static const QRegularExpression stamp(QStringLiteral("^\\[\\s*[0-9.]+\\] "));
        static const QRegularExpression summary(QStringLiteral("^polls (\\d+) in the last second, (\\d+) answered"));
        static const QRegularExpression ordinary(QStringLiteral(
            "^(rx A \\(greeting\\)|rx record C[^ ]*F|rx J \\(run\\)|rx T \\(direction\\)|rx I \\(stop\\)"
            "|client opened the line|client closed the line|line .* linked at .*|exit)$"));
        for (qsizetype end = buffer_.indexOf('\n'); end >= 0; end = buffer_.indexOf('\n')) {
            QString line = QString::fromLocal8Bit(buffer_.left(end)).trimmed();
            buffer_.remove(0, end + 1);
            line.remove(stamp);
            const QRegularExpressionMatch match = summary.match(line);
            if (match.hasMatch()) {
                polls_ += match.captured(1).toLong();
                answered_ += match.captured(2).toLong();
            } else if (!ordinary.match(line).hasMatch() && unusual_) {
                unusual_(line);
            }
        }
    }

    QProcess process_;
    QString error_;
    QString entry_;
    QByteArray out_;
    QByteArray buffer_;
    long polls_ = 0;
    long answered_ = 0;
    std::function<void(const QString&)> unusual_;
};

} // namespace veltrano::bench
