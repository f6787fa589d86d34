#include "serial/port_lock.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStandardPaths>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#if __has_include(<sys/sysmacros.h>)
#include <sys/sysmacros.h>
#endif
#endif

namespace veltrano {

QString describePortUser(const PortUser& user)
{
    if (user.pid <= 0)
        return QStringLiteral("another program");
#ifdef Q_OS_UNIX
    if (user.pid == ::getpid())
        return QStringLiteral("this program");
#endif
    if (user.program.isEmpty())
        return QStringLiteral("pid %1").arg(user.pid);
    return QStringLiteral("%1, pid %2").arg(user.program).arg(user.pid);
}

namespace {

// The directories QSerialPort looks in for lock files, in its order; the first few are
// where UUCP-style programs keep theirs.
QStringList lockDirectories()
{
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/run/lock"),
            QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
}

// The names a lock file for the device goes by. QSerialPort and lockdev take the path
// below /dev with '/' turned into '_' ("LCK..pts_3"); programs that go by the last part
// of the path take that ("LCK..3"). For the usual names ("ttyUSB0") the two agree.
QStringList lockFileNames(const QString& path)
{
    const QString dev = QStringLiteral("/dev/");
    QString name = path.startsWith(dev) ? path.mid(dev.size()) : path;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    QStringList names{QStringLiteral("LCK..") + name};
    const QString last = QStringLiteral("LCK..") + path.section(QLatin1Char('/'), -1);
    if (!names.contains(last))
        names << last;
    return names;
}

#ifdef Q_OS_UNIX

// The pid a lock file names: the ASCII form (decimal on the first line, maybe padded with
// spaces), which QLockFile's "pid\nprogram\nhost..." also is, or the old binary form
// (four bytes, native order). 0 when it names none.
qint64 lockFilePid(const QByteArray& content)
{
    if (content.size() == qsizetype(sizeof(qint32)) && content.contains('\0')) {
        qint32 pid = 0;
        std::memcpy(&pid, content.constData(), sizeof pid);
        return pid;
    }
    const qsizetype end = content.indexOf('\n');
    bool ok = false;
    const qint64 pid = content.left(end < 0 ? content.size() : end).trimmed().toLongLong(&ok);
    return ok ? pid : 0;
}

QByteArray readLockFile(const QString& file)
{
    QFile lock(file);
    if (!lock.open(QIODevice::ReadOnly))
        return {};
    return lock.read(256);
}

bool processAlive(qint64 pid) { return pid > 0 && pid <= INT_MAX && (::kill(pid_t(pid), 0) == 0 || errno == EPERM); }

PortUser userOf(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {pid, {}};
    return {pid, QString::fromLocal8Bit(comm.readAll().trimmed())};
}

// A lock file for the device naming a live process other than this one.
std::optional<PortUser> lockFileHolder(const QString& path)
{
    const QStringList names = lockFileNames(path);
    for (const QString& dir : lockDirectories()) {
        for (const QString& name : names) {
            const qint64 pid = lockFilePid(readLockFile(dir + QLatin1Char('/') + name));
            if (pid != ::getpid() && processAlive(pid))
                return userOf(pid);
        }
    }
    return std::nullopt;
}

// An flock, POSIX or open-file lock on the device's inode, from /proc/locks:
// "1: FLOCK  ADVISORY  WRITE 812 00:19:3 0 EOF", the pid -1 where the kernel does not
// tie the lock to one; "1: -> FLOCK ..." lines are waiters.
std::optional<PortUser> lockHolder(const struct stat& device)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray inode = QString::asprintf("%02x:%02x:%llu", unsigned(major(device.st_dev)),
                                               unsigned(minor(device.st_dev)),
                                               static_cast<unsigned long long>(device.st_ino))
                                 .toLatin1();
    const QList<QByteArray> lines = locks.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields.at(1) == "->")
            continue;
        const qsizetype at = fields.indexOf(inode);
        if (at < 1)
            continue;
        const qint64 pid = fields.at(at - 1).toLongLong();
        return pid > 0 ? userOf(pid) : PortUser{};
    }
    return std::nullopt;
}

// A process other than this one with a descriptor on the device, whatever path it
// opened it by. Processes of other users are hidden from an ordinary user; a holder
// among them is left to the open (EBUSY, the exclusive flag, the flock).
std::optional<PortUser> processWithDeviceOpen(dev_t device)
{
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return std::nullopt;
    const pid_t self = ::getpid();
    std::optional<PortUser> found;
    while (!found) {
        const dirent* entry = ::readdir(proc);
        if (!entry)
            break;
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || pid <= 0 || pid == self)
            continue;
        const QByteArray fdDir = QByteArrayLiteral("/proc/") + entry->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.constData());
        if (!fds)
            continue;
        while (const dirent* fd = ::readdir(fds)) {
            // Sockets, pipes and the like do not resolve to a path: no stat for them.
            char target[8] = {};
            if (::readlinkat(::dirfd(fds), fd->d_name, target, sizeof target) <= 0 || target[0] != '/')
                continue;
            struct stat st { };
            if (::fstatat(::dirfd(fds), fd->d_name, &st, 0) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device) {
                found = userOf(pid);
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

PortClaim::Refusal inUse(const PortUser& user)
{
    return {QStringLiteral("in use by %1").arg(describePortUser(user)), true};
}

#endif // Q_OS_UNIX

} // namespace

std::optional<PortUser> findPortUser(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    if (auto user = lockFileHolder(path))
        return user;
    if (auto user = lockHolder(st))
        return user;
    if (S_ISCHR(st.st_mode))
        return processWithDeviceOpen(st.st_rdev);
#else
    Q_UNUSED(path);
#endif
    return std::nullopt;
}

QString qtLockFilePath(const QString& path)
{
    const QString name = lockFileNames(path).constFirst();
    for (const QString& dir : lockDirectories()) {
        const QFileInfo info(dir);
        const QString file = dir + QLatin1Char('/') + name;
        if (info.isReadable() && (QFile::exists(file) || info.isWritable()))
            return file;
    }
    return {};
}

PortClaim::Refusal PortClaim::acquire(const QString& path)
{
    release();
#ifdef Q_OS_UNIX
    if (const auto user = findPortUser(path))
        return inUse(*user);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return error == EBUSY ? inUse({}) : Refusal{qt_error_string(error)};
    }
#ifdef TIOCGEXCL
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) {
        ::close(fd);
        return inUse({});
    }
#endif
    // Where the system has no flock for the device, it is held without one.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        return inUse({});
    }
    fd_ = fd;
    // A lock file naming this process, now that this process has the device's flock, is
    // left from an earlier run under the same pid (containers start programs under the
    // same pids). QSerialPort would take it for a live lock and refuse the port for good.
    const QString lockFile = qtLockFilePath(path);
    if (!lockFile.isEmpty() && lockFilePid(readLockFile(lockFile)) == ::getpid())
        QFile::remove(lockFile);
#else
    Q_UNUSED(path);
#endif
    return {};
}

void PortClaim::release()
{
#ifdef Q_OS_UNIX
    if (fd_ >= 0)
        ::close(fd_);
#endif
    fd_ = -1;
}

} // namespace veltrano
