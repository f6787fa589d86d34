#include "fakes/fake_serial_control.h"

#include "platform/control_error.h"
#include "serial/line_settings.h"
#include "serial/port_table.h"

namespace veltrano {

FakeSerialControl::FakeSerialControl(QObject* parent) : SerialControl(parent) { }

void FakeSerialControl::failAt(Member member, int afterCalls) { failures_[member] = afterCalls; }

void FakeSerialControl::failIfArmed(Member member)
{
    auto it = failures_.find(member);
    if (it == failures_.end())
        return;
    if (--it.value() <= 0) {
        it.value() = 0;
        throw ControlError("fake serial control: injected failure");
    }
}

void FakeSerialControl::setCommPort(int number)
{
    failIfArmed(Member::CommPort);
    if (open_)
        throw ControlError("port number cannot change while the port is open");
    if (number < kFirstPortNumber || number > kLastPortNumber)
        throw ControlError("invalid port number");
    commPort_ = number;
}

void FakeSerialControl::setPortOpen(bool open)
{
    if (!open) {
        failIfArmed(Member::Close);
        open_ = false;
        queue_.clear();
        return;
    }
    failIfArmed(Member::Open);
    if (open_)
        throw ControlError("port already open");
    switch (ports_.value(commPort_, Port::Absent)) {
    case Port::Absent: throw ControlError("port does not exist");
    case Port::InUse: throw PortInUse(QStringLiteral("port already in use"), holders_.value(commPort_));
    case Port::Available: break;
    }
    open_ = true;
    openedPorts.append(commPort_);
}

void FakeSerialControl::setSettings(const QString& settings)
{
    failIfArmed(Member::Settings);
    if (!parseLineSettings(settings))
        throw ControlError("invalid line settings");
    settings_ = settings;
}

void FakeSerialControl::setRThreshold(int threshold)
{
    failIfArmed(Member::RThreshold);
    threshold_ = threshold;
}

void FakeSerialControl::setInputLen(int length)
{
    failIfArmed(Member::InputLen);
    inputLen_ = length;
}

void FakeSerialControl::output(const QByteArray& bytes)
{
    failIfArmed(Member::Output);
    if (!open_)
        throw ControlError("port is closed");
    outputs.append(bytes);
}

QByteArray FakeSerialControl::input()
{
    failIfArmed(Member::Input);
    if (!open_)
        throw ControlError("port is closed");
    return queue_.take(inputLen_);
}

QByteArray FakeSerialControl::written() const
{
    QByteArray all;
    for (const QByteArray& piece : outputs)
        all += piece;
    return all;
}

QString FakeSerialControl::describePort(int number) const
{
    return ports_.value(number, Port::Absent) == Port::Absent ? QString() : QStringLiteral("/dev/fake%1").arg(number);
}

void FakeSerialControl::receive(const QByteArray& bytes)
{
    if (!open_)
        return;
    queue_.append(bytes);
    raiseReceiveEvents();
}

void FakeSerialControl::loseDevice()
{
    const bool wasOpen = open_;
    loseDeviceUnreported();
    if (wasOpen)
        emit deviceLost();
}

void FakeSerialControl::loseDeviceUnreported()
{
    open_ = false;
    queue_.clear();
}

void FakeSerialControl::raiseReceiveEvents()
{
    if (raising_)
        return; // the running loop picks up what a handler's own receive added
    raising_ = true;
    while (open_ && threshold_ > 0 && queue_.size() >= threshold_) {
        const qsizetype before = queue_.size();
        event_ = kComEvReceive;
        try {
            emit onComm();
        } catch (...) {
            raising_ = false;
            throw;
        }
        if (queue_.size() >= before)
            break; // the handler took nothing: wait for more bytes, as the real control does
    }
    raising_ = false;
}

} // namespace veltrano
