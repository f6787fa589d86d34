#include "support/port_holder.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSerialPort>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace veltrano::testing {

namespace {
const char* const kHoldPortArgument = "--hold-port";

int failed(const QString& reason)
{
    std::printf("failed: %s\n", qPrintable(reason));
    std::fflush(stdout);
    return 1;
}

int holdPort(PortHold how, const char* path)
{
    int argc = 1;
    char name[] = "hold-port";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const QString device = QString::fromLocal8Bit(path);
    QSerialPort port(device);
    int fd = -1;
    QString lockFile;
    if (how == PortHold::QtSerialPort) {
        if (!port.open(QIODevice::ReadWrite))
            return failed(port.errorString());
    } else if (how == PortHold::LockFile) {
        // Named after the path below /dev, '/' turned into '_' ("LCK..pts_3").
        QString name = device.mid(device.startsWith(QLatin1String("/dev/")) ? 5 : 0);
        lockFile = QStringLiteral("/var/lock/LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
        const int lock = ::open(QFile::encodeName(lockFile).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (lock < 0)
            return failed(QStringLiteral("%1: %2").arg(lockFile, qt_error_string(errno)));
        const QByteArray pid = QByteArray::number(::getpid()).rightJustified(10) + '\n';
        const bool written = ::write(lock, pid.constData(), size_t(pid.size())) == pid.size();
        ::close(lock);
        if (!written)
            return failed(lockFile);
    } else {
        fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return failed(QStringLiteral("open: %1").arg(qt_error_string(errno)));
        if (how == PortHold::Flock && ::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return failed(QStringLiteral("flock: %1").arg(qt_error_string(errno)));
        if (how == PortHold::Exclusive && ::ioctl(fd, TIOCEXCL) != 0)
            return failed(QStringLiteral("TIOCEXCL: %1").arg(qt_error_string(errno)));
    }
    std::printf("held\n");
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) { }
    if (how == PortHold::Exclusive)
        ::ioctl(fd, TIOCNXCL);
    if (fd >= 0)
        ::close(fd);
    if (!lockFile.isEmpty())
        QFile::remove(lockFile);
    return 0;
}
} // namespace

std::optional<int> runAsPortHolderIfAsked(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], kHoldPortArgument) == 0)
        return holdPort(PortHold(std::atoi(argv[2])), argv[3]);
    return std::nullopt;
}

QByteArray startPortHolder(QProcess& process, const QString& device, PortHold how)
{
    process.start(QCoreApplication::applicationFilePath(),
                  {QString::fromLatin1(kHoldPortArgument), QString::number(int(how)), device});
    if (!process.waitForStarted(5000) || !process.waitForReadyRead(5000))
        return "failed: the holder did not answer";
    return process.readLine().trimmed();
}

} // namespace veltrano::testing
