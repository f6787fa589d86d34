#pragma once

#include <QString>

#include <optional>

namespace veltrano {

// Line settings in the control's text form "baud,parity,data,stop".
struct LineSettings {
    int baud = 9600;
};

// Accepts exactly "2400,N,8,1", "9600,N,8,1" and "115200,N,8,1".
std::optional<LineSettings> parseLineSettings(const QString& text);

} // namespace veltrano
