#include "support/pty_pair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace veltrano::testing {

PtyPair::PtyPair()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0)
        return;
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    master_ = master;
    slavePath_ = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() { closeMaster(); }

void PtyPair::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

bool PtyPair::writeAll(const QByteArray& bytes, int timeoutMs)
{
    if (master_ < 0)
        return false;
    qsizetype done = 0;
    QDeadlineTimer stalled(timeoutMs);
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            stalled.setRemainingTime(timeoutMs);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (stalled.hasExpired())
            return false;
        // The pty is full until the reader drains it, and the reader runs in this thread.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        pollfd pfd{master_, POLLOUT, 0};
        ::poll(&pfd, 1, 1);
    }
    return true;
}

QByteArray PtyPair::read(qsizetype count, int timeoutMs)
{
    QByteArray out;
    if (master_ < 0)
        return out;
    QDeadlineTimer deadline(timeoutMs);
    char buffer[4096];
    while (out.size() < count && !deadline.hasExpired()) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        pollfd pfd{master_, POLLIN, 0};
        ::poll(&pfd, 1, 1);
    }
    return out;
}

} // namespace veltrano::testing
