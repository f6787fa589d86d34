#pragma once

#include <QByteArray>
#include <QList>
#include <QImage>

namespace veltrano {

// A Windows icon file (.ico) holding the given square images, each stored as PNG (which
// Windows reads from Vista on, at every size). Empty when an image is not square, larger
// than 256 pixels or cannot be encoded.
QByteArray windowsIconFile(const QList<QImage>& images);

} // namespace veltrano
