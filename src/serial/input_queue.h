#pragma once

#include <QByteArray>

namespace veltrano {

// Received bytes waiting to be read, oldest first. Taking from the front is O(1)
// amortised: the consumed prefix is dropped only once it outweighs the rest.
class InputQueue {
public:
    void append(const QByteArray& bytes);
    // Takes at most maxLength bytes (0: all of them).
    QByteArray take(int maxLength);
    void clear();
    qsizetype size() const { return bytes_.size() - head_; }
    bool isEmpty() const { return size() == 0; }

private:
    QByteArray bytes_;
    qsizetype head_ = 0;
};

} // namespace veltrano
