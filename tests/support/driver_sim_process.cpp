#include "support/driver_sim_process.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace veltrano::testing {

namespace {

const QString kEntryPrefix = QStringLiteral("VELTRANO_PORTS entry: ");

// Moves the complete lines at the front of `buffer` into `lines`.
void takeLines(QByteArray& buffer, QStringList& lines)
{
    for (qsizetype end = buffer.indexOf('\n'); end >= 0; end = buffer.indexOf('\n')) {
        QString line = QString::fromLocal8Bit(buffer.left(end));
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        lines.append(line);
        buffer.remove(0, end + 1);
    }
}

} // namespace

DriverSimProcess::DriverSimProcess(const QString& executable, const QString& linkPath,
                                   const QString& comName, const QStringList& extraArgs)
{
    process_.setProgram(executable);
    process_.setArguments(QStringList{QStringLiteral("--link"), linkPath, QStringLiteral("--com"), comName}
                          + extraArgs);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
#ifdef Q_OS_LINUX
    // Should the test process itself die, the simulator is told to stop as well.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    process_.start();
    if (!process_.waitForStarted(10000)) {
        error_ = QStringLiteral("simulator did not start: %1").arg(process_.errorString());
        return;
    }
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        collect();
        if (!outLines_.isEmpty())
            break;
        if (process_.state() == QProcess::NotRunning)
            break;
        process_.waitForReadyRead(50);
    }
    collect();
    if (outLines_.isEmpty() || !outLines_.first().startsWith(kEntryPrefix)) {
        error_ = QStringLiteral("simulator printed no port entry; its log: %1")
                     .arg(logLines_.join(QStringLiteral(" | ")));
        return;
    }
    entry_ = outLines_.first().mid(kEntryPrefix.size());
}

DriverSimProcess::~DriverSimProcess()
{
    stop();
}

void DriverSimProcess::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    collect();
}

void DriverSimProcess::collect()
{
    outBuffer_ += process_.readAllStandardOutput();
    errBuffer_ += process_.readAllStandardError();
    takeLines(outBuffer_, outLines_);
    QStringList fresh;
    takeLines(errBuffer_, fresh);
    static const QRegularExpression stamp(QStringLiteral("^\\[\\s*([0-9.]+)\\] "));
    for (const QString& line : fresh) {
        const QRegularExpressionMatch match = stamp.match(line);
        logTimes_.append(match.hasMatch() ? match.captured(1).toDouble() : -1.0);
        logLines_.append(match.hasMatch() ? line.mid(match.capturedLength()) : line);
    }
}

int DriverSimProcess::announcements()
{
    collect();
    int count = 0;
    for (const QString& line : outLines_) {
        if (line.startsWith(kEntryPrefix))
            ++count;
    }
    return count;
}

QStringList DriverSimProcess::log()
{
    collect();
    return logLines_;
}

QStringList DriverSimProcess::received()
{
    collect();
    QStringList lines;
    for (const QString& line : logLines_) {
        if (line.startsWith(QLatin1String("rx ")))
            lines.append(line);
    }
    return lines;
}

long DriverSimProcess::summarisedPolls()
{
    collect();
    static const QRegularExpression summary(QStringLiteral("^polls (\\d+) in the last second"));
    long total = 0;
    for (const QString& line : logLines_) {
        const QRegularExpressionMatch match = summary.match(line);
        if (match.hasMatch())
            total += match.captured(1).toLong();
    }
    return total;
}

bool DriverSimProcess::logged(const QString& line)
{
    collect();
    return logLines_.contains(line);
}

double DriverSimProcess::loggedAt(const QString& line)
{
    collect();
    const qsizetype index = logLines_.indexOf(line);
    return index < 0 ? -1.0 : logTimes_[index];
}

} // namespace veltrano::testing
