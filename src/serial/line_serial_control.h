#pragma once

#include "serial/byte_line.h"
#include "serial/port_table.h"
#include "serial/receive_path.h"
#include "serial/serial_control.h"

#include <memory>

namespace veltrano {

// The serial control of the program: "COM<n>" is whatever the port table puts there, a
// device of the system's (system_line.h) or the simulated board (simulated_line.h), and
// every one of them is received through the same path (receive_path.h).
//
// When the device goes away under the open port, the port reads closed at once, what
// waited is dropped, and deviceLost is raised from the event loop once the line is closed.
class LineSerialControl : public SerialControl {
    Q_OBJECT
public:
    static constexpr int kMaxEventsPerPass = ReceivePath::kMaxEventsPerPass;

    explicit LineSerialControl(std::shared_ptr<PortTable> ports, QObject* parent = nullptr);
    ~LineSerialControl() override;

    void setCommPort(int number) override;
    int commPort() const override { return commPort_; }
    bool portOpen() const override;
    void setPortOpen(bool open) override;
    void setSettings(const QString& settings) override;
    QString settings() const override { return settings_; }
    void setRThreshold(int threshold) override { receive_.setThreshold(threshold); }
    void setInputLen(int length) override { receive_.setInputLen(length); }
    void output(const QByteArray& bytes) override;
    QByteArray input() override;
    int commEvent() const override { return event_; }
    void rescanPorts() override { ports_->rescan(); }
    QString describePort(int number) const override { return ports_->describe(number); }

    const PortTable& ports() const { return *ports_; }

private:
    void openPort();
    void closePort();
    void lineLost(const QString& reason);
    void finishLoss();

    std::shared_ptr<PortTable> ports_;
    ReceivePath receive_;
    // The open line; gone once closed (deleted from the event loop, since a close may
    // come from inside its own notification).
    ByteLine* line_ = nullptr;
    int commPort_ = 1;
    QString openDevice_; // as the port table names it, for messages
    QString settings_ = QStringLiteral("9600,N,8,1");
    int baud_ = 9600;
    int event_ = 0;
    // Set when the device went away under the open port; the port reads closed at once
    // and the line is closed from the event loop.
    bool lost_ = false;
    // A loss not yet reported through deviceLost.
    bool lossUnreported_ = false;
};

} // namespace veltrano
