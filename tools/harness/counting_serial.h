#pragma once

// A serial control that hands every call to another one (the real control, in the
// benchmarks and the soak run) and counts what passes through it: polls written,
// characters and end marks taken. The window sees the wrapped control unchanged; its
// receive events are passed on as they come, on the same thread.

#include "serial/serial_control.h"

#include <functional>
#include <memory>

namespace veltrano::harness {

class CountingSerial : public SerialControl {
public:
    explicit CountingSerial(std::unique_ptr<SerialControl> inner) : inner_(std::move(inner))
    {
        connect(inner_.get(), &SerialControl::onComm, this, [this] { emit onComm(); });
    }

    void setCommPort(int number) override { inner_->setCommPort(number); }
    int commPort() const override { return inner_->commPort(); }
    bool portOpen() const override { return inner_->portOpen(); }
    void setPortOpen(bool open) override { inner_->setPortOpen(open); }
    void setSettings(const QString& settings) override { inner_->setSettings(settings); }
    QString settings() const override { return inner_->settings(); }
    void setRThreshold(int threshold) override { inner_->setRThreshold(threshold); }
    void setInputLen(int length) override { inner_->setInputLen(length); }
    int commEvent() const override { return inner_->commEvent(); }
    QString describePort(int number) const override { return inner_->describePort(number); }
    void rescanPorts() override { inner_->rescanPorts(); }

    void output(const QByteArray& bytes) override
    {
        inner_->output(bytes); // counted only once written: a failed write throws past this
        if (bytes == "Q") {
            ++polls;
            if (onPoll)
                onPoll();
        }
    }

    QByteArray input() override
    {
        QByteArray bytes = inner_->input();
        taken += bytes.size();
        endMarks += bytes.count('E');
        lastTaken = bytes.isEmpty() ? -1 : int(static_cast<unsigned char>(bytes.back()));
        return bytes;
    }

    long polls = 0; // "Q" written
    long taken = 0; // characters taken by input()
    long endMarks = 0; // ... of which "E"
    int lastTaken = -1; // the last character the latest input() took; -1 for none
    std::function<void()> onPoll; // called after each poll written

private:
    std::unique_ptr<SerialControl> inner_;
};

} // namespace veltrano::harness
