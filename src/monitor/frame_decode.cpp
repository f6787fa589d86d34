#include "monitor/frame_decode.h"

#include <algorithm>

namespace veltrano {

namespace {
int characterCode(QChar c) { return c.unicode() < 256 ? c.unicode() : '?'; }
} // namespace

FrameDecode decodeFrame(const QString& box, const Sample& previous)
{
    FrameDecode result{previous, QString(), kBoxRestart, 0};
    const qsizetype length = box.size();
    for (int back = 0; back <= length - 1; ++back) {
        const QChar c = box[length - back - 1];
        switch (back) {
        case 1: result.sample.data3 = std::uint8_t(characterCode(c)); break;
        case 2: result.sample.data2 = std::int16_t(characterCode(c)); break;
        case 3: result.sample.data1 = std::int16_t(characterCode(c)); break;
        case 4: result.sample.data0 = std::int16_t(characterCode(c)); break;
        default: break;
        }
        if (back >= 4)
            break; // nothing beyond the fourth position is read
    }
    result.frameIndex = int(std::min<qsizetype>(length, 4));
    // A box holding only the end mark has no character before it to show.
    if (length >= 2)
        result.lastData = QString(box[length - 2]);
    return result;
}

BoxStep chartBoxStep(const QString& box)
{
    if (box.contains(kEndMark))
        return BoxStep::Decode;
    // A line that never sends an end mark must not grow the box without bound.
    return box.size() > kBoxLimit ? BoxStep::Restart : BoxStep::Wait;
}

} // namespace veltrano
