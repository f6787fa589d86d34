#include "frame_book.h"

namespace veltrano::soak {

void FrameBook::polled(qint64 nowMs)
{
    ++polls;
    ++pending;
    recent.push_back(nowMs);
}

bool FrameBook::answered()
{
    if (pending == 0) {
        ++unexpected;
        return false;
    }
    --pending;
    ++decoded;
    return true;
}

long FrameBook::settle(qint64 nowMs)
{
    while (!recent.empty() && recent.front() < nowMs - kAnswerWithinMs)
        recent.pop_front();
    const long young = long(recent.size());
    if (pending <= young)
        return 0;
    const long late = pending - young;
    lost += late;
    pending = young;
    return late;
}

long FrameBook::abandon(qint64 nowMs)
{
    settle(nowMs);
    const long left = pending;
    excluded += left;
    pending = 0;
    return left;
}

} // namespace veltrano::soak
