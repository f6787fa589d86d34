#include "serial/input_queue.h"

namespace veltrano {

void InputQueue::append(const QByteArray& bytes)
{
    if (head_ > 0 && head_ >= bytes_.size() / 2) {
        bytes_.remove(0, head_);
        head_ = 0;
    }
    bytes_.append(bytes);
}

QByteArray InputQueue::take(int maxLength)
{
    qsizetype n = size();
    if (maxLength > 0 && maxLength < n)
        n = maxLength;
    QByteArray out = bytes_.mid(head_, n);
    head_ += n;
    if (head_ == bytes_.size()) {
        bytes_.clear();
        head_ = 0;
    }
    return out;
}

void InputQueue::clear()
{
    bytes_.clear();
    head_ = 0;
}

} // namespace veltrano
