// Writes the application icon for installing: PNG files, one per size, and one Windows
// icon file (veltrano.ico) with every size.
#include "app/art.h"
#include "app/icon_file.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-DIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QIcon icon = veltrano::applicationIcon();
    QList<QImage> images;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QPixmap pixmap = icon.pixmap(size, size);
        const QString path = out.filePath(QStringLiteral("veltrano-%1.png").arg(size));
        if (!pixmap.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        images.append(pixmap.toImage());
    }
    const QByteArray ico = veltrano::windowsIconFile(images);
    QSaveFile file(out.filePath(QStringLiteral("veltrano.ico")));
    if (ico.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(ico) != ico.size() || !file.commit()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        return 1;
    }
    return 0;
}
