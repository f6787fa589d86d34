// Writes the application icon as PNG files, one per size, for installing.
#include "app/art.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>

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
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString path = out.filePath(QStringLiteral("veltrano-%1.png").arg(size));
        if (!icon.pixmap(size, size).save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
