#include "app/art.h"
#include "app/icon_file.h"

#include <QBuffer>
#include <QImageReader>
#include <QTest>

using namespace veltrano;

class IconFileTest : public QObject {
    Q_OBJECT

private slots:
    // The program's icon at every size, written and read back by Qt's own icon reader:
    // every image there, in order, pixel for pixel.
    void theApplicationIcon_readsBackAsDrawn()
    {
        QList<QImage> drawn;
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            drawn.append(applicationIcon().pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32));
        QByteArray file = windowsIconFile(drawn);
        QBuffer buffer(&file);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "ico");
        QCOMPARE(reader.imageCount(), drawn.size());
        for (const QImage& expected : drawn) {
            const QImage read = reader.read().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(read.size(), expected.size());
            QCOMPARE(read, expected);
            reader.jumpToNextImage();
        }
    }

    void imagesAnIconCannotHold_giveNoFile_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("not square") << QSize(32, 16);
        QTest::newRow("over 256") << QSize(512, 512);
        QTest::newRow("empty") << QSize(0, 0);
    }
    void imagesAnIconCannotHold_giveNoFile()
    {
        QFETCH(QSize, size);
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(windowsIconFile({QImage(16, 16, QImage::Format_ARGB32), image}).isEmpty());
    }
};

QTEST_MAIN(IconFileTest)
#include "test_icon_file.moc"
