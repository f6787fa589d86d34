#include "app/icon_file.h"

#include <QBuffer>

namespace veltrano {

namespace {

void putLittleEndian(QByteArray& out, quint32 value, int bytes)
{
    for (int k = 0; k < bytes; ++k)
        out.append(char((value >> (8 * k)) & 0xff));
}

} // namespace

QByteArray windowsIconFile(const QList<QImage>& images)
{
    QList<QByteArray> encoded;
    for (const QImage& image : images) {
        if (image.isNull() || image.width() != image.height() || image.width() > 256)
            return {};
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG"))
            return {};
        encoded.append(png);
    }

    // ICONDIR, then one 16-byte ICONDIRENTRY per image, then the images.
    constexpr int kHeader = 6, kEntry = 16;
    QByteArray file;
    putLittleEndian(file, 0, 2); // reserved
    putLittleEndian(file, 1, 2); // an icon, not a cursor
    putLittleEndian(file, quint32(images.size()), 2);
    quint32 offset = quint32(kHeader + kEntry * images.size());
    for (qsizetype k = 0; k < images.size(); ++k) {
        const int side = images[k].width();
        putLittleEndian(file, side == 256 ? 0 : quint32(side), 1); // 0 stands for 256
        putLittleEndian(file, side == 256 ? 0 : quint32(side), 1);
        putLittleEndian(file, 0, 1); // no palette
        putLittleEndian(file, 0, 1); // reserved
        putLittleEndian(file, 1, 2); // colour planes
        putLittleEndian(file, 32, 2); // bits per pixel
        putLittleEndian(file, quint32(encoded[k].size()), 4);
        putLittleEndian(file, offset, 4);
        offset += quint32(encoded[k].size());
    }
    for (const QByteArray& png : encoded)
        file.append(png);
    return file;
}

} // namespace veltrano
