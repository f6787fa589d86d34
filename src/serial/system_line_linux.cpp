// The system's serial devices on Linux, through QSerialPort.

#include "serial/system_line.h"

#include "platform/control_error.h"
#include "serial/port_lock.h"
#include "serial/serial_control.h"

#include <QFileInfo>
#include <QSerialPort>

#include <algorithm>

#include <sys/ioctl.h>
#include <unistd.h>

namespace veltrano {

namespace {

[[noreturn]] void fail(const QString& message) { throw ControlError(message.toStdString()); }

// A port another program holds is not opened at all (port_lock.h says how a holder is
// found). While open, the port is held the ways other programs look for: the kernel's
// exclusive flag and QSerialPort's lock file ("LCK..<name>" in the lock directory, the
// pid on its first line), both set by QSerialPort, and an flock. An open followed by a
// close, as the port search does, leaves the line as it found it: QSerialPort puts the
// line settings back on close, and the bytes that waited before the open are dropped
// only as they are read, so nothing is flushed.
class SerialPortLine : public ByteLine {
public:
    SerialPortLine(const QString& name, const QString& device, QObject* parent)
        : ByteLine(parent), port_(new QSerialPort(this)), name_(name), device_(device)
    {
        connect(port_, &QSerialPort::readyRead, this, &ByteLine::readyRead);
        connect(port_, &QSerialPort::errorOccurred, this, &SerialPortLine::handleError);
    }

    ~SerialPortLine() override { close(); }

    void open(int baud) override
    {
        // QSerialPort names its lock file after the path as written, and root is not held
        // back by the kernel's exclusive-open flag: only the canonical path makes a second
        // opener (through a symlink or not) find the lock.
        const QString path = QFileInfo(device_).canonicalFilePath();
        if (path.isEmpty())
            fail(QStringLiteral("%1 (%2) does not exist").arg(name_, device_));

        // Before anything touches the device: a port another program holds is not opened.
        const PortClaim::Refusal refused = claim_.acquire(path);
        if (refused.inUse)
            throw PortInUse(QStringLiteral("%1 (%2): %3").arg(name_, device_, refused.reason), refused.reason);
        if (!refused.reason.isEmpty())
            fail(QStringLiteral("%1 (%2): %3").arg(name_, device_, refused.reason));

        port_->setPortName(path);
        port_->setBaudRate(baud);
        port_->setDataBits(QSerialPort::Data8);
        port_->setParity(QSerialPort::NoParity);
        port_->setStopBits(QSerialPort::OneStop);
        port_->setFlowControl(QSerialPort::NoFlowControl);
        if (!port_->open(QIODevice::ReadWrite)) {
            const QString reason = port_->errorString();
            port_->clearError();
            port_->close();
            claim_.release();
            fail(QStringLiteral("%1 (%2): %3").arg(name_, device_, reason));
        }
        // Bytes the system kept from before this open (an answer that came after the last
        // close) belong to no request of ours. They are counted here and dropped as they
        // are read rather than flushed, so that an open and a close leave them where they
        // were.
        int waiting = 0;
        staleInput_ = ::ioctl(int(port_->handle()), FIONREAD, &waiting) == 0 ? std::max(waiting, 0) : 0;
    }

    void close() override
    {
        port_->close();
        port_->clearError();
        claim_.release();
        staleInput_ = 0;
    }

    bool isOpen() const override { return port_->isOpen(); }

    void setBaud(int baud) override
    {
        if (!port_->setBaudRate(baud)) {
            const QString reason = port_->errorString();
            port_->clearError();
            fail(reason);
        }
    }

    void write(const QByteArray& bytes) override
    {
        // With nothing queued before them, the bytes go straight to the (non-blocking)
        // descriptor, sparing the event loop the two write notifications QSerialPort takes
        // to send them. Whatever that does not send, for whatever reason, QSerialPort sends.
        qsizetype sent = 0;
        if (port_->bytesToWrite() == 0) {
            const ssize_t written = ::write(int(port_->handle()), bytes.constData(), size_t(bytes.size()));
            sent = written > 0 ? qsizetype(written) : 0;
        }
        if (sent == bytes.size())
            return;
        const qint64 written = port_->write(bytes.constData() + sent, bytes.size() - sent);
        if (written != bytes.size() - sent) {
            const QString reason = port_->errorString();
            port_->clearError();
            fail(QStringLiteral("Output failed: %1").arg(reason));
        }
    }

    QByteArray readAll() override
    {
        if (!port_->isOpen() || port_->bytesAvailable() == 0)
            return {};
        QByteArray bytes = port_->readAll();
        const qsizetype stale = qsizetype(std::min<qint64>(staleInput_, bytes.size()));
        bytes.remove(0, stale);
        staleInput_ -= stale;
        return bytes;
    }

private:
    void handleError(QSerialPort::SerialPortError error)
    {
        if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
            return;
        if (!port_->isOpen())
            return;
        // The device went away. Qt keeps reporting the read error for as long as the
        // descriptor stays open, until the control closes the line; its error text here
        // is whatever the last system call left behind, not the cause.
        emit lost(error == QSerialPort::ReadError ? QStringLiteral("read failed")
                                                  : QStringLiteral("device unavailable"));
    }

    QSerialPort* port_;
    PortClaim claim_;
    QString name_;
    QString device_;
    // Bytes that waited in the system's input queue when the port opened.
    qint64 staleInput_ = 0;
};

} // namespace

ByteLine* makeSystemLine(const QString& name, const QString& device, QObject* parent)
{
    return new SerialPortLine(name, device, parent);
}

} // namespace veltrano
