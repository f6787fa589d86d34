#include "serial/qt_serial_control.h"

#include "platform/control_error.h"
#include "serial/line_settings.h"
#include "serial/port_table.h"

#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <exception>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace veltrano {

namespace {

[[noreturn]] void fail(const QString& message)
{
    throw ControlError(message.toStdString());
}

} // namespace

QtSerialControl::QtSerialControl(QObject* parent) : SerialControl(parent), port_(new QSerialPort(this))
{
    connect(port_, &QSerialPort::readyRead, this, &QtSerialControl::readAvailable);
    connect(port_, &QSerialPort::errorOccurred, this, &QtSerialControl::handleError);
}

QtSerialControl::~QtSerialControl()
{
    // Close before the QSerialPort child goes, so no signal reaches a half-destroyed control.
    disconnect(port_, nullptr, this, nullptr);
    port_->close();
}

void QtSerialControl::setCommPort(int number)
{
    if (portOpen())
        fail(QStringLiteral("The port number cannot change while the port is open"));
    if (number < firstPortNumber || number > lastPortNumber)
        fail(QStringLiteral("Invalid port number %1").arg(number));
    commPort_ = number;
}

bool QtSerialControl::portOpen() const
{
    return port_->isOpen() && !lost_;
}

void QtSerialControl::setPortOpen(bool open)
{
    if (open)
        openPort();
    else
        closePort();
}

void QtSerialControl::openPort()
{
    if (portOpen())
        fail(QStringLiteral("%1 is already open").arg(portName(commPort_)));
    closePort(); // a port lost but not yet closed

    const QString name = portName(commPort_);
    const QString device = portDevice(commPort_);
    if (device.isEmpty())
        fail(QStringLiteral("%1 does not exist").arg(name));
#ifdef Q_OS_WIN
    const QString path = device;
#else
    // QSerialPort names its lock file after the path as written, and root is not held
    // back by the kernel's exclusive-open flag: only the canonical path makes a second
    // opener (through a symlink or not) find the lock.
    const QString path = QFileInfo(device).canonicalFilePath();
    if (path.isEmpty())
        fail(QStringLiteral("%1 (%2) does not exist").arg(name, device));
#endif

    // Before anything touches the device: a port another program holds is not opened.
    const PortClaim::Refusal refused = claim_.acquire(path);
    if (refused.inUse)
        throw PortInUse(QStringLiteral("%1 (%2): %3").arg(name, device, refused.reason), refused.reason);
    if (!refused.reason.isEmpty())
        fail(QStringLiteral("%1 (%2): %3").arg(name, device, refused.reason));

    port_->setPortName(path);
    port_->setBaudRate(baud_);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        const QString reason = port_->errorString();
        port_->clearError();
        port_->close();
        claim_.release();
        fail(QStringLiteral("%1 (%2): %3").arg(name, device, reason));
    }
    // Bytes the system kept from before this open (an answer that came after the last
    // close) belong to no request of ours. They are counted here and dropped as they are
    // read rather than flushed, so that an open and a close leave them where they were.
#ifdef Q_OS_UNIX
    int waiting = 0;
    staleInput_ = ::ioctl(int(port_->handle()), FIONREAD, &waiting) == 0 ? std::max(waiting, 0) : 0;
#else
    port_->clear(QSerialPort::Input);
#endif
    lost_ = false;
    queue_.clear();
    openDevice_ = device;
}

void QtSerialControl::closePort()
{
    lost_ = false;
    port_->close();
    port_->clearError();
    claim_.release();
    queue_.clear();
    staleInput_ = 0;
}

void QtSerialControl::setSettings(const QString& settings)
{
    const std::optional<LineSettings> parsed = parseLineSettings(settings);
    if (!parsed)
        fail(QStringLiteral("Invalid line settings \"%1\"").arg(settings));
    if (portOpen() && !port_->setBaudRate(parsed->baud)) {
        const QString reason = port_->errorString();
        port_->clearError();
        fail(QStringLiteral("Line settings \"%1\" not applied: %2").arg(settings, reason));
    }
    settings_ = settings;
    baud_ = parsed->baud;
}

void QtSerialControl::setRThreshold(int threshold)
{
    threshold_ = threshold;
}

void QtSerialControl::setInputLen(int length)
{
    inputLen_ = length;
}

void QtSerialControl::output(const QByteArray& bytes)
{
    if (!portOpen())
        fail(QStringLiteral("The port is closed"));
    qsizetype sent = 0;
#ifdef Q_OS_UNIX
    // With nothing queued before them, the bytes go straight to the (non-blocking)
    // descriptor, sparing the event loop the two write notifications QSerialPort takes
    // to send them. Whatever that does not send, for whatever reason, QSerialPort sends.
    if (port_->bytesToWrite() == 0) {
        const ssize_t written = ::write(int(port_->handle()), bytes.constData(), size_t(bytes.size()));
        sent = written > 0 ? qsizetype(written) : 0;
    }
    if (sent == bytes.size())
        return;
#endif
    const qint64 written = port_->write(bytes.constData() + sent, bytes.size() - sent);
    if (written != bytes.size() - sent) {
        const QString reason = port_->errorString();
        port_->clearError();
        fail(QStringLiteral("Output failed: %1").arg(reason));
    }
}

QByteArray QtSerialControl::input()
{
    if (!portOpen())
        fail(QStringLiteral("The port is closed"));
    QByteArray bytes = queue_.take(inputLen_);
    taken_ += quint64(bytes.size());
    return bytes;
}

QString QtSerialControl::describePort(int number) const
{
    return portDescription(number);
}

void QtSerialControl::readAvailable()
{
    takeFromPort();
    if (draining_)
        return; // a handler spun the event loop: the running pass picks up the new bytes
    // Raised here, inside QSerialPort's notification, which lets a handler close the
    // port; a failure that escapes a handler is raised again from a queued call rather
    // than unwinding through QSerialPort.
    try {
        drain();
    } catch (...) {
        QMetaObject::invokeMethod(
            this, [failure = std::current_exception()] { std::rethrow_exception(failure); }, Qt::QueuedConnection);
    }
}

void QtSerialControl::takeFromPort()
{
    if (!portOpen() || port_->bytesAvailable() == 0)
        return;
    QByteArray bytes = port_->readAll();
    const qsizetype stale = qsizetype(std::min<qint64>(staleInput_, bytes.size()));
    bytes.remove(0, stale);
    staleInput_ -= stale;
    if (bytes.isEmpty())
        return;
    queue_.append(bytes);
    received_ += quint64(bytes.size());
}

void QtSerialControl::handleError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    if (!port_->isOpen() || lost_)
        return;
    // The device went away. Qt keeps reporting the read error for as long as the
    // descriptor stays open, so the port reads closed from now on and the QSerialPort
    // is closed as soon as control is back in the event loop.
    lost_ = true;
    lossUnreported_ = true;
    queue_.clear();
    // Qt's error text here is whatever the last system call left behind, not the cause.
    qWarning("%s (%s): the device went away (%s); the port is closed",
             qPrintable(portName(commPort_)), qPrintable(openDevice_),
             error == QSerialPort::ReadError ? "read failed" : "device unavailable");
    QMetaObject::invokeMethod(this, &QtSerialControl::finishLoss, Qt::QueuedConnection);
}

void QtSerialControl::finishLoss()
{
    if (lost_)
        closePort();
    // Reported here rather than from the error notification, so that whoever handles it
    // may reopen the port or throw without unwinding through QSerialPort.
    if (!lossUnreported_)
        return;
    lossUnreported_ = false;
    // A port opened again in the meantime is a new connection, and nothing of it was lost.
    if (!portOpen())
        emit deviceLost();
}

void QtSerialControl::scheduleDrain()
{
    if (drainQueued_)
        return;
    drainQueued_ = true;
    QMetaObject::invokeMethod(this, &QtSerialControl::drain, Qt::QueuedConnection);
}

void QtSerialControl::drain()
{
    drainQueued_ = false;
    if (draining_)
        return; // a handler spun the event loop: the running pass picks up the new bytes
    draining_ = true;
    int raised = 0;
    // While a handler runs inside QSerialPort's notification, QSerialPort reads on but
    // does not notify again: what it read is taken here.
    while (portOpen() && threshold_ > 0 && (takeFromPort(), queue_.size() >= threshold_)) {
        if (raised == maxEventsPerPass) {
            scheduleDrain();
            break;
        }
        ++raised;
        const quint64 takenBefore = taken_;
        const quint64 receivedBefore = received_;
        event_ = comEvReceive;
        try {
            emit onComm();
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
