#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace veltrano {

// The four values of the driver's latest sample frame. The first three are empty until a
// frame has set them.
struct Sample {
    std::optional<std::int16_t> data0, data1, data2;
    std::uint8_t data3 = 0;
};

// The frame box restarts as this once a frame is decoded or the box passes kBoxLimit.
inline const QString kBoxRestart = QStringLiteral("0");
inline constexpr qsizetype kBoxLimit = 1000;
inline constexpr QChar kEndMark = u'E';

struct FrameDecode {
    Sample sample; // the previous sample with what this frame carries
    QString lastData; // the character before the end mark, for the progress line
    QString box; // what the box holds next
    int frameIndex = 0; // where the decode's count back from the end stopped
};

// Decodes a box whose last character is taken as the end mark: the four characters before
// it are, counted back from the end, data3, data2, data1 and data0. A short box sets only
// the values it reaches (a frame shorter than four reaches into the box's first character).
// Character codes past 255 count as "?".
FrameDecode decodeFrame(const QString& box, const Sample& previous);

// What the chart view does with its box after characters were appended.
enum class BoxStep { Wait, Decode, Restart };
BoxStep chartBoxStep(const QString& box);
// Whether the setup view's reply log has grown past its bound and restarts.
inline bool logOverflows(const QString& log) { return log.size() > kBoxLimit; }

} // namespace veltrano
