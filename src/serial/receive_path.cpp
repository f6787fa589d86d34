#include "serial/receive_path.h"

#include "serial/byte_line.h"

#include <QMetaObject>

#include <exception>

namespace veltrano {

ReceivePath::ReceivePath(std::function<void()> raise, QObject* parent) : QObject(parent), raise_(std::move(raise)) { }

void ReceivePath::attach(ByteLine* line)
{
    disconnect(readyConnection_);
    line_ = line;
    queue_.clear();
    if (line)
        readyConnection_ = connect(line, &ByteLine::readyRead, this, &ReceivePath::bytesArrived);
}

QByteArray ReceivePath::take()
{
    QByteArray bytes = queue_.take(inputLen_);
    taken_ += quint64(bytes.size());
    return bytes;
}

void ReceivePath::pull()
{
    if (!line_)
        return;
    const QByteArray bytes = line_->readAll();
    if (bytes.isEmpty())
        return;
    queue_.append(bytes);
    received_ += quint64(bytes.size());
}

void ReceivePath::bytesArrived()
{
    pull();
    if (draining_)
        return; // a handler spun the event loop: the running pass picks up the new bytes
    // Raised inside the line's notification, which lets a handler close the line; a
    // failure that escapes a handler is raised again from a queued call rather than
    // unwinding through the line.
    try {
        drain();
    } catch (...) {
        QMetaObject::invokeMethod(
            this, [failure = std::current_exception()] { std::rethrow_exception(failure); }, Qt::QueuedConnection);
    }
}

void ReceivePath::scheduleDrain()
{
    if (drainQueued_)
        return;
    drainQueued_ = true;
    QMetaObject::invokeMethod(this, &ReceivePath::drain, Qt::QueuedConnection);
}

void ReceivePath::drain()
{
    drainQueued_ = false;
    if (draining_)
        return; // a handler spun the event loop: the running pass picks up the new bytes
    draining_ = true;
    int raised = 0;
    // While a handler runs inside a line's notification, the line reads on but does not
    // notify again: what it read is taken here.
    while (line_ && threshold_ > 0 && (pull(), queue_.size() >= threshold_)) {
        if (raised == kMaxEventsPerPass) {
            scheduleDrain();
            break;
        }
        ++raised;
        const quint64 takenBefore = taken_;
        const quint64 receivedBefore = received_;
        try {
            raise_();
        } catch (...) {
            draining_ = false;
            // Characters still wait: go on with them later, unless the handler took
            // nothing, which would only fail the same way again.
            if (taken_ != takenBefore || received_ != receivedBefore)
                scheduleDrain();
            throw;
        }
        if (taken_ == takenBefore) {
            // The handler took nothing: wait for new bytes, counting those that came
            // in while it ran.
            if (received_ != receivedBefore)
                scheduleDrain();
            break;
        }
    }
    draining_ = false;
}

} // namespace veltrano
