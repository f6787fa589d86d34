#pragma once

#include "serial/input_queue.h"
#include "serial/serial_control.h"

#include <QList>
#include <QMap>

namespace veltrano {

// A serial control for tests: ports that exist, are in use, or fail at a chosen member;
// every output call recorded as its own entry; received bytes injected and reported
// through onComm the way the real control reports them.
class FakeSerialControl : public SerialControl {
    Q_OBJECT
public:
    enum class Port { Absent, Available, InUse };
    enum class Member { CommPort, Open, Close, Settings, RThreshold, InputLen, Output, Input };

    explicit FakeSerialControl(QObject* parent = nullptr);

    // A port in use is refused with PortInUse naming `holder` ("in use by minicom, pid 4242").
    void setPort(int number, Port state, const QString& holder = QStringLiteral("in use by another program"))
    {
        ports_[number] = state;
        holders_[number] = holder;
    }
    // The member fails from its next call on (Output: from its nth next call, 1 = next).
    void failAt(Member member, int afterCalls = 1);
    void clearFailures() { failures_.clear(); }

    // Bytes arriving on the line; raises the receive event while characters wait.
    void receive(const QByteArray& bytes);
    // The device goes away under an open port: the port reads closed from now on and the
    // loss is reported through deviceLost at once (call it between events, where the real
    // control reports it).
    void loseDevice();
    // The same without the report: the port as a handler sees it between the device going
    // away and the report reaching the window.
    void loseDeviceUnreported();

    QList<QByteArray> outputs; // one entry per output call
    QByteArray written() const; // all output calls joined
    QList<int> openedPorts; // port numbers of successful opens, in order
    int threshold() const { return threshold_; }
    int inputLength() const { return inputLen_; }
    qsizetype waiting() const { return queue_.size(); }

    void setCommPort(int number) override;
    int commPort() const override { return commPort_; }
    bool portOpen() const override { return open_; }
    void setPortOpen(bool open) override;
    void setSettings(const QString& settings) override;
    QString settings() const override { return settings_; }
    void setRThreshold(int threshold) override;
    void setInputLen(int length) override;
    void output(const QByteArray& bytes) override;
    QByteArray input() override;
    int commEvent() const override { return event_; }
    void rescanPorts() override { }
    QString describePort(int number) const override;

private:
    void failIfArmed(Member member);
    void raiseReceiveEvents();

    QMap<int, Port> ports_;
    QMap<int, QString> holders_;
    QMap<Member, int> failures_;
    InputQueue queue_;
    int commPort_ = 1;
    bool open_ = false;
    QString settings_ = QStringLiteral("9600,N,8,1");
    int threshold_ = 0;
    int inputLen_ = 0;
    int event_ = 0;
    bool raising_ = false;
};

} // namespace veltrano
