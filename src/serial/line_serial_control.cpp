#include "serial/line_serial_control.h"
#include "platform/log.h"

#include "platform/control_error.h"
#include "serial/line_settings.h"
#include "serial/simulated_line.h"
#include "serial/system_line.h"

#include <QMetaObject>

namespace veltrano {

namespace {

[[noreturn]] void fail(const QString& message) { throw ControlError(message.toStdString()); }

} // namespace

LineSerialControl::LineSerialControl(std::shared_ptr<PortTable> ports, QObject* parent)
    : SerialControl(parent), ports_(std::move(ports)), receive_([this] {
          event_ = kComEvReceive;
          emit onComm();
      })
{
}

LineSerialControl::~LineSerialControl()
{
    // Close before the line goes, so no signal reaches a half-destroyed control.
    closePort();
}

void LineSerialControl::setCommPort(int number)
{
    if (portOpen())
        fail(QStringLiteral("The port number cannot change while the port is open"));
    if (number < kFirstPortNumber || number > kLastPortNumber)
        fail(QStringLiteral("Invalid port number %1").arg(number));
    commPort_ = number;
}

bool LineSerialControl::portOpen() const { return line_ && line_->isOpen() && !lost_; }

void LineSerialControl::setPortOpen(bool open)
{
    if (open)
        openPort();
    else
        closePort();
}

void LineSerialControl::openPort()
{
    if (portOpen())
        fail(QStringLiteral("%1 is already open").arg(portName(commPort_)));
    closePort(); // a port lost but not yet closed

    const QString name = portName(commPort_);
    ByteLine* line = nullptr;
    QString device;
    if (std::shared_ptr<SimulatedBoard> board = ports_->simulatedBoard(commPort_)) {
        device = QStringLiteral("simulated driver board");
        line = new SimulatedLine(std::move(board), this);
    } else {
        device = ports_->device(commPort_);
        if (device.isEmpty())
            fail(QStringLiteral("%1 does not exist").arg(name));
        line = makeSystemLine(name, device, this);
    }
    try {
        line->open(baud_);
    } catch (...) {
        delete line; // nothing of it was connected or notified yet
        throw;
    }
    line_ = line;
    openDevice_ = device;
    lost_ = false;
    connect(line_, &ByteLine::lost, this, &LineSerialControl::lineLost);
    receive_.attach(line_);
}

void LineSerialControl::closePort()
{
    lost_ = false;
    receive_.detach();
    if (!line_)
        return;
    ByteLine* line = std::exchange(line_, nullptr);
    disconnect(line, nullptr, this, nullptr);
    line->close();
    line->deleteLater();
}

void LineSerialControl::setSettings(const QString& settings)
{
    const std::optional<LineSettings> parsed = parseLineSettings(settings);
    if (!parsed)
        fail(QStringLiteral("Invalid line settings \"%1\"").arg(settings));
    if (portOpen()) {
        try {
            line_->setBaud(parsed->baud);
        } catch (const ControlError& e) {
            fail(
                QStringLiteral("Line settings \"%1\" not applied: %2").arg(settings, QString::fromStdString(e.what())));
        }
    }
    settings_ = settings;
    baud_ = parsed->baud;
}

void LineSerialControl::output(const QByteArray& bytes)
{
    if (!portOpen())
        fail(QStringLiteral("The port is closed"));
    line_->write(bytes);
}

QByteArray LineSerialControl::input()
{
    if (!portOpen())
        fail(QStringLiteral("The port is closed"));
    return receive_.take();
}

void LineSerialControl::lineLost(const QString& reason)
{
    if (!portOpen())
        return;
    lost_ = true;
    lossUnreported_ = true;
    receive_.detach();
    qCWarning(lcSerial, "%s (%s): the device went away (%s); the port is closed", qPrintable(portName(commPort_)),
              qPrintable(openDevice_), qPrintable(reason));
    QMetaObject::invokeMethod(this, &LineSerialControl::finishLoss, Qt::QueuedConnection);
}

void LineSerialControl::finishLoss()
{
    if (lost_)
        closePort();
    // Reported here rather than from the line's notification, so that whoever handles it
    // may reopen the port or throw without unwinding through the line.
    if (!lossUnreported_)
        return;
    lossUnreported_ = false;
    // A port opened again in the meantime is a new connection, and nothing of it was lost.
    if (!portOpen())
        emit deviceLost();
}

} // namespace veltrano
