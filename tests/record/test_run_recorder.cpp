// The recorder's own rules: every row appended before stop() is in the file after the
// header and counted, stop() says the same however often it is asked, nothing is taken once
// stopped, and a file that is there already is never replaced.
#include "record/run_recorder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace veltrano;

class TestRunRecorder : public QObject {
    Q_OBJECT
private slots:
    void keepsEveryRowBeforeStop_data()
    {
        QTest::addColumn<int>("rows");
        QTest::newRow("none") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("many, past any buffer") << 50000;
    }

    void keepsEveryRowBeforeStop()
    {
        QFETCH(int, rows);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        QString error;
        const auto recorder = RunRecorder::start(path, "time,a\n", &error);
        QVERIFY2(recorder, qPrintable(error));
        QByteArray expected = "time,a\n";
        for (int i = 0; i < rows; ++i) {
            const QByteArray row = QByteArray::number(i) + ",7\n";
            recorder->append(row);
            expected += row;
        }
        const RunRecorder::Result result = recorder->stop();
        QCOMPARE(result.rowsKept, qint64(rows));
        QVERIFY(result.error.isEmpty());
        recorder->append("late,1\n"); // after the stop: not taken
        QCOMPARE(recorder->stop().rowsKept, qint64(rows));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), expected);
        QVERIFY(!recorder->hasFailed());
    }

    void neverReplacesAFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("the operator's own\n");
        existing.close();
        QString error;
        QVERIFY(!RunRecorder::start(path, "time,a\n", &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("the operator's own\n"));
    }
};

QTEST_MAIN(TestRunRecorder)
#include "test_run_recorder.moc"
