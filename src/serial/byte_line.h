#pragma once

#include <QByteArray>
#include <QObject>

namespace veltrano {

// One serial line as the serial control drives it: opened at a rate (8 data bits, no
// parity, one stop bit, no flow control), written, and read as its bytes come in. A line
// is made for one port (system_line.h, simulated_line.h) and used for one opening.
// Every failing call throws ControlError (PortInUse from open when another program holds
// the port).
class ByteLine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ByteLine() override = default;

    virtual void open(int baud) = 0;
    // Closes the line and lets go of the port; unread input is dropped.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Applies to the open line at once.
    virtual void setBaud(int baud) = 0;
    // Queues the bytes for sending, in call order; never waits for them to go out.
    virtual void write(const QByteArray& bytes) = 0;
    // The bytes received since the last call; empty when none came.
    virtual QByteArray readAll() = 0;

signals:
    // New bytes can be read. Raised from the event loop, never inside a call of ours.
    void readyRead();
    // The device went away under the open line (reads or writes fail for good); the line
    // is to be closed. reason says how, for standard error.
    void lost(const QString& reason);
};

} // namespace veltrano
