#pragma once

#include "serial/byte_line.h"

#include <utility>

namespace veltrano::testing {

// A line whose incoming bytes a test hands in. feed() notifies as a line does; arrive()
// adds bytes without a notification, as a line reads on while a handler runs inside its
// notification. What is written is kept.
class MemoryLine : public ByteLine {
public:
    using ByteLine::ByteLine;

    void open(int baud) override { open_ = true, baud_ = baud; }
    void close() override { open_ = false, waiting_.clear(); }
    bool isOpen() const override { return open_; }
    void setBaud(int baud) override { baud_ = baud; }
    void write(const QByteArray& bytes) override { written += bytes; }
    QByteArray readAll() override { return std::exchange(waiting_, QByteArray()); }

    void arrive(const QByteArray& bytes) { waiting_ += bytes; }
    void feed(const QByteArray& bytes)
    {
        arrive(bytes);
        emit readyRead();
    }
    void goAway() { emit lost(QStringLiteral("gone")); }

    QByteArray written;
    int baud() const { return baud_; }

private:
    QByteArray waiting_;
    bool open_ = false;
    int baud_ = 0;
};

} // namespace veltrano::testing
