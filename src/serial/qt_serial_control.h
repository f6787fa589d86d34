#pragma once

#include "serial/input_queue.h"
#include "serial/port_lock.h"
#include "serial/serial_control.h"

#include <QSerialPort>

namespace veltrano {

// The serial control on a real port (QSerialPort), named through the port table.
//
// A port another program holds is not opened at all (port_lock.h says how a holder is
// found). While open, the port is held the ways other programs look for: the kernel's
// exclusive flag and QSerialPort's lock file ("LCK..<name>" in the lock directory, the
// pid on its first line), both set by QSerialPort, and an flock. An open followed by a
// close, as the port search does, leaves the line as it found it: QSerialPort puts the
// line settings back on close, and the bytes that waited before the open are dropped
// only as they are read, so nothing is flushed.
class QtSerialControl : public SerialControl {
    Q_OBJECT
public:
    // Receive events raised in one pass before the rest continues in a queued call,
    // so that a flood of input leaves the window responsive.
    static constexpr int maxEventsPerPass = 4096;

    explicit QtSerialControl(QObject* parent = nullptr);
    ~QtSerialControl() override;

    void setCommPort(int number) override;
    int commPort() const override { return commPort_; }
    bool portOpen() const override;
    void setPortOpen(bool open) override;
    void setSettings(const QString& settings) override;
    QString settings() const override { return settings_; }
    void setRThreshold(int threshold) override;
    void setInputLen(int length) override;
    void output(const QByteArray& bytes) override;
    QByteArray input() override;
    int commEvent() const override { return event_; }
    QString describePort(int number) const override;

private:
    void openPort();
    void closePort();
    void readAvailable();
    void takeFromPort();
    void handleError(QSerialPort::SerialPortError error);
    void finishLoss();
    void scheduleDrain();
    void drain();

    QSerialPort* port_;
    PortClaim claim_;
    InputQueue queue_;
    int commPort_ = 1;
    QString openDevice_; // as the port table names it, for messages
    QString settings_ = QStringLiteral("9600,N,8,1");
    int baud_ = 9600;
    int threshold_ = 0;
    int inputLen_ = 0;
    int event_ = 0;
    // Set when the device went away under the open port; the port reads closed at once
    // and the QSerialPort is closed from the event loop.
    bool lost_ = false;
    // Bytes that waited in the system's input queue when the port opened (an answer that
    // came after the last close): they belong to no request of ours and are dropped as
    // they are read.
    qint64 staleInput_ = 0;
    // A loss not yet reported through deviceLost.
    bool lossUnreported_ = false;
    bool draining_ = false;
    bool drainQueued_ = false;
    // Running counts of bytes received and taken, to tell whether a handler took
    // anything and whether bytes arrived while it ran.
    quint64 received_ = 0;
    quint64 taken_ = 0;
};

} // namespace veltrano
