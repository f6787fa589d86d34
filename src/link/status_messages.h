#pragma once

#include <QString>

// What the serial link reports in the status box.
namespace veltrano::status {

inline const QString unknownPort = QStringLiteral("CÔNG COM KHONG TON TAI"); // no "COM1".."COM16"
inline const QString notOpen = QStringLiteral("COM PORT DOES NOT HAVE"); // the port did not open
inline const QString disconnected = QStringLiteral("COM PORT DISCONNECTED");

} // namespace veltrano::status
