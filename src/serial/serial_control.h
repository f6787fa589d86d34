#pragma once

// The serial line's room: this port control and the one the program uses
// (line_serial_control) over the lines it opens, a device of the system's (system_line) or
// the simulated board (simulated_line, simulated_board), the receive path they share
// (receive_path, input_queue), the hold on a port against other programs (port_lock), the
// COMn numbers the system's ports get and the file that keeps them (port_table,
// port_registry, registry_file) and the offered line settings (line_settings). It holds no
// widget code and depends on nothing of the program's but the shared platform headers and
// the simulated board's core (sim/).

#include "platform/control_error.h"
#include "serial/port_table.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace veltrano {

// An open refused because another program holds the port.
class PortInUse : public ControlError {
public:
    PortInUse(const QString& message, const QString& holder) : ControlError(message.toStdString()), holder_(holder) { }
    // Who holds it: "in use by minicom, pid 4242", or "in use by another program".
    QString holder() const { return holder_; }

private:
    QString holder_;
};

// The one serial-port control of the window. Every failing member throws ControlError.
// Texts on the line are 8-bit: one byte per character.
//
// A slot of onComm may throw: the failure does not unwind through the line (which the slot
// may have closed) but is raised again from a queued call in the event loop, where the
// application's notify() reports it (app/application.h) and the characters still waiting are
// raised again. The program's own slot runs its handler inside dispatch() and never throws.
class SerialControl : public QObject {
    Q_OBJECT
public:
    // Event code of a receive: characters are waiting to be read.
    static constexpr int kComEvReceive = 2;

    using QObject::QObject;
    ~SerialControl() override = default;

    // Selects the port ("COM<n>") for the next open; fails while the port is open.
    virtual void setCommPort(int number) = 0;
    virtual int commPort() const = 0;

    virtual bool portOpen() const = 0;
    // true opens the selected port with the held settings (fails when it does not exist
    // or is in use, leaving it closed; PortInUse when another program holds it); false
    // closes it and drops unread input.
    virtual void setPortOpen(bool open) = 0;

    // The settings text of one of the offered rates (line_settings.h), such as
    // "9600,N,8,1"; applies to an open port at once.
    virtual void setSettings(const QString& settings) = 0;
    virtual QString settings() const = 0;

    // Waiting characters that raise a receive event; 0 raises none.
    virtual void setRThreshold(int threshold) = 0;
    // Characters one read of input() takes at most; 0 takes all that wait.
    virtual void setInputLen(int length) = 0;

    // Queues the bytes for sending, in call order, adding nothing.
    virtual void output(const QByteArray& bytes) = 0;
    // Takes the waiting characters (at most the input length) out of the input buffer.
    virtual QByteArray input() = 0;
    // Code of the event being reported by onComm.
    virtual int commEvent() const = 0;

    // Takes the system's ports and their numbers afresh; names resolve to these devices
    // until the next call. A port search calls it first.
    virtual void rescanPorts() { }

    // The system device and a description of "COM<n>" for a tooltip; empty when unknown.
    virtual QString describePort(int number) const
    {
        Q_UNUSED(number);
        return {};
    }

signals:
    // The communication event: raised on the UI thread, again for as long as
    // characters wait after a read.
    void onComm();
    // The device went away under the open port: raised once per loss on the UI thread,
    // from the event loop, when the port already reads closed.
    void deviceLost();
};

} // namespace veltrano
