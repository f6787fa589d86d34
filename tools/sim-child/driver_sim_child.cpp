#include "driver_sim_child.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace veltrano::simchild {

namespace {

const QString kEntryPrefix = QStringLiteral("VELTRANO_PORTS entry: ");

// Hands the complete lines at the front of `buffer` to `take` and removes them.
template <typename Take>
void takeLines(QByteArray& buffer, Take take)
{
    for (qsizetype end = buffer.indexOf('\n'); end >= 0; end = buffer.indexOf('\n')) {
        QString line = QString::fromLocal8Bit(buffer.left(end));
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        buffer.remove(0, end + 1);
        take(line);
    }
}

const QRegularExpression& pollSummary()
{
    static const QRegularExpression summary(QStringLiteral("^polls (\\d+) in the last second, (\\d+) answered"));
    return summary;
}

} // namespace

DriverSimChild::DriverSimChild(const QString& executable, const QString& linkPath, const QString& comName,
                               const QStringList& extraArgs, LogHandler onLogLine)
    : onLogLine_(std::move(onLogLine))
{
    process_.setProgram(executable);
    process_.setArguments(QStringList{QStringLiteral("--link"), linkPath, QStringLiteral("--com"), comName}
                          + extraArgs);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
#ifdef Q_OS_LINUX
    // Should this process die, the simulator is told to stop as well.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    QObject::connect(&process_, &QProcess::readyReadStandardError, &process_, [this] { readOutput(); });
    process_.start();
    if (!process_.waitForStarted(10000)) {
        error_ = QStringLiteral("simulator did not start: %1").arg(process_.errorString());
        return;
    }
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        readOutput();
        if (outLines_ > 0 || process_.state() == QProcess::NotRunning)
            break;
        process_.waitForReadyRead(50);
    }
    readOutput();
    starting_ = false;
    if (outLines_ == 0 || !firstOutLine_.startsWith(kEntryPrefix)) {
        error_ = QStringLiteral("simulator printed no port entry (got \"%1\"); its log: %2")
                     .arg(firstOutLine_, startLog_.join(QStringLiteral(" | ")));
    } else {
        entry_ = firstOutLine_.mid(kEntryPrefix.size());
    }
    startLog_.clear();
}

DriverSimChild::~DriverSimChild() { stop(); }

void DriverSimChild::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    stopProcess(process_);
    readOutput();
}

void DriverSimChild::readOutput()
{
    // Standard output holds the entry line, printed again each time the line comes back.
    outBuffer_ += process_.readAllStandardOutput();
    takeLines(outBuffer_, [this](const QString& line) {
        if (outLines_++ == 0)
            firstOutLine_ = line;
        if (line.startsWith(kEntryPrefix))
            ++announcements_;
    });

    errBuffer_ += process_.readAllStandardError();
    static const QRegularExpression stamp(QStringLiteral("^\\[\\s*([0-9.]+)\\] "));
    takeLines(errBuffer_, [this](const QString& raw) {
        const QRegularExpressionMatch stamped = stamp.match(raw);
        const double seconds = stamped.hasMatch() ? stamped.captured(1).toDouble() : -1.0;
        const QString line = stamped.hasMatch() ? raw.mid(stamped.capturedLength()) : raw;
        const QRegularExpressionMatch summary = pollSummary().match(line);
        if (summary.hasMatch()) {
            polls_ += summary.captured(1).toLong();
            answered_ += summary.captured(2).toLong();
        }
        if (starting_)
            startLog_.append(line);
        if (onLogLine_)
            onLogLine_(seconds, line);
    });
}

int DriverSimChild::announcements()
{
    readOutput();
    return announcements_;
}

long DriverSimChild::polls()
{
    readOutput();
    return polls_;
}

long DriverSimChild::answered()
{
    readOutput();
    return answered_;
}

bool isOrdinaryTraffic(const QString& line)
{
    static const QRegularExpression ordinary(
        QStringLiteral("^(rx A \\(greeting\\)|rx record C[^ ]*F|rx J \\(run\\)|rx T \\(direction\\)|rx I \\(stop\\)"
                       "|client opened the line|client closed the line|line .* linked at .*|exit)$"));
    const QString text = line.trimmed();
    return pollSummary().match(text).hasMatch() || ordinary.match(text).hasMatch();
}

void stopProcess(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace veltrano::simchild
